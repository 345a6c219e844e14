// metadata-image: a sparse image as large as the disk that holds only what the listing
// reads (signature, "file_system.sys", directory head and slots, the file FATs and the
// A-sector where the File-FAT-Size is recognised). It is small enough to go with a bug
// report, and the program lists it like the disk; the recordings' data is not in it.

#include <CLI/CLI.hpp>
#include <ostream>

#include "cli/cli_session.h"
#include "cli/commands.h"
#include "cli/workflow_support.h"
#include "disk/text.h"
#include "export/output_file.h"
#include "export/sector_image.h"
#include "recfs/disk_domain.h"

namespace korvelo::cli {

CLI::App* addMetadataImageCommand(CLI::App& app, MetadataImageCommandOptions& options) {
  CLI::App* command =
      app.add_subcommand("metadata-image",
                         "Schreibt ein dünn besetztes Abbild nur mit Signatur, Verzeichnis und "
                         "Dateizuordnungstabellen, etwa für einen Fehlerbericht");
  command->option_defaults()->group("Optionen von metadata-image");
  command->add_option("-o,--output", options.imagePath, "Die zu schreibende Abbilddatei")
      ->type_name("DATEI")
      ->required();
  command->add_flag("--force", options.force, "Eine vorhandene Datei überschreiben");
  return command;
}

ExitCode runMetadataImage(const Invocation& invocation, Terminal& terminal, std::ostream& out) {
  const MetadataImageCommandOptions& options = invocation.metadataImage;
  CliSession session(invocation, terminal);
  if (!session.searchDisk()) return ExitCode::NoRecorderDisk;
  Fsr5000Disk& disk = *session.app().disk;
  Log& log = session.app().log;
  if (refuseMountedSource(disk, log)) return ExitCode::ExportFailed;
  const ByteSource* source = sourceOf(disk);
  if (const std::string problem = outputFileProblem(options.imagePath, options.force, source);
      !problem.empty()) {
    log.append(problem);
    return ExitCode::ExportFailed;
  }

  DomainOptions wanted;
  wanted.wholeProbeHojin = false;
  wanted.verificationHojins = false;
  wanted.allFileFats = true;
  const DiskDomain domain = computeDiskDomain(disk, wanted);
  const int64_t diskBytes = source ? source->mediaInfo().sizeBytes : -1;
  const SectorImageResult result = writeSectorImage(disk.getDrive(), domain.sectors, diskBytes,
                                                    options.imagePath, options.force);
  if (result.error != 0) {
    log.append(textf("Konnte das Abbild \"%s\" nicht schreiben: %s", options.imagePath.c_str(),
                     describeError(result.error).c_str()));
    return ExitCode::ExportFailed;
  }
  log.append(textf("Metadaten-Abbild \"%s\": %s Sektoren (%s Bytes) übernommen.",
                   options.imagePath.c_str(), formatThousands(result.copiedSectors, '.').c_str(),
                   formatThousands(result.copiedSectors * kSectorSize, '.').c_str()));
  if (result.unreadableSectors > 0)
    log.append(textf("Warnung: %s Sektoren waren nicht lesbar und sind im Abbild Nullen.",
                     formatThousands(result.unreadableSectors, '.').c_str()));
  if (domain.fileFatSize <= 0)
    log.append(
        "Die File-FAT-Size ist unbekannt: das Abbild enthält keine Dateizuordnungstabellen.");
  out << options.imagePath << "\n";
  return result.unreadableSectors == 0 && domain.fileFatSize > 0 ? ExitCode::Success
                                                                 : ExitCode::ExportFailed;
}

}  // namespace korvelo::cli
