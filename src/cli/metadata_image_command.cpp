// SPDX-License-Identifier: GPL-3.0-or-later
// metadata-image: a sparse image as large as the disk that holds only what the listing
// reads (signature, "file_system.sys", directory head and slots, the file FATs and the
// HOJINs the File-FAT-Size is recognised and verified at), and beside it a mapfile naming
// exactly those sectors. It is small enough to go with a bug report, and the program lists
// it like the disk; the recordings' data is not in it, and read through the mapfile the
// missing sectors are reported as unreadable.

#include <CLI/CLI.hpp>
#include <ostream>

#include "app/workflow_support.h"
#include "cli/cli_session.h"
#include "cli/commands.h"
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
  // The mapfile beside the image says which sectors it really holds: read through it,
  // every other sector counts as unreadable instead of passing for recorded zeros.
  const std::string mapfilePath = options.imagePath + ".map";
  for (const std::string& path : {options.imagePath, mapfilePath}) {
    if (const std::string problem = outputFileProblem(path, options.force, source);
        !problem.empty()) {
      log.append(problem, Severity::Error);
      return ExitCode::ExportFailed;
    }
  }

  DomainOptions wanted;
  // The verification's reads too: read through the mapfile, the image must settle the
  // File-FAT-Size as the disk does.
  wanted.verificationHojins = true;
  wanted.allFileFats = true;
  const DiskDomain domain = computeDiskDomain(disk, wanted);
  const int64_t diskBytes = source ? source->mediaInfo().sizeBytes : -1;
  const SectorImageResult result = writeSectorImage(disk.getDrive(), domain.sectors, diskBytes,
                                                    options.imagePath, options.force);
  if (result.error != 0) {
    log.append(textf("Konnte das Abbild \"%s\" nicht schreiben: %s", options.imagePath.c_str(),
                     describeError(result.error).c_str()),
               Severity::Error);
    return ExitCode::ExportFailed;
  }
  log.append(textf("Metadaten-Abbild \"%s\": %s Sektoren (%s Bytes) übernommen.",
                   options.imagePath.c_str(), formatThousands(result.copiedSectors, '.').c_str(),
                   formatThousands(result.copiedSectors * kSectorSize, '.').c_str()));
  const std::string comments =
      "# Metadaten-Abbild von korvelo-cli " + std::string(kVersion) +
      "\n"
      "# '+': die Sektoren, die das Abbild enthält; alle anderen fehlen darin\n";
  if (const std::string problem = writeTextFile(
          mapfilePath, domainMapfileText(domain.sectors, diskBytes, comments), options.force);
      !problem.empty()) {
    log.append(problem, Severity::Error);
    return ExitCode::ExportFailed;
  }
  log.append(
      textf("Mapdatei \"%s\": mit --drive \"%s\" --mapfile \"%s\" gelten alle Sektoren, "
            "die nicht im Abbild sind, als nicht lesbar.",
            mapfilePath.c_str(), options.imagePath.c_str(), mapfilePath.c_str()));
  if (result.unreadableSectors > 0)
    log.append(textf("Warnung: %s Sektoren waren nicht lesbar und sind im Abbild Nullen.",
                     formatThousands(result.unreadableSectors, '.').c_str()),
               Severity::Warning);
  if (domain.fileFatSize <= 0)
    log.append("Die File-FAT-Size ist unbekannt: das Abbild enthält keine Dateizuordnungstabellen.",
               Severity::Warning);
  out << options.imagePath << "\n" << mapfilePath << "\n";
  // The image is written all the same: it is what a helper needs to settle the value.
  const bool settled = session.admitFileFatSize(false);
  return result.unreadableSectors == 0 && domain.fileFatSize > 0 && settled
             ? ExitCode::Success
             : ExitCode::ExportFailed;
}

}  // namespace korvelo::cli
