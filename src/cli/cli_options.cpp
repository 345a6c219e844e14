// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_options.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <memory>
#include <ostream>
#include <sstream>
#include <string_view>

#include "app/app_state.h"
#include "cli/commands.h"
#include "cli/drive_options.h"
#include "cli/help_command.h"
#include "cli/suggestion.h"
#include "cli/terminal.h"
#include "cli/value_checks.h"
#include "disk/text.h"

namespace korvelo::cli {

namespace {

constexpr const char* kDescription =
    "korvelo-cli rettet Aufnahmen von der Festplatte eines Finepass FSR-5000 TDR oder\n"
    "Tevion PVR 8005 HDD in \".hav\"-Dateien, ohne Fenster, für Skripte und Stapelbetrieb.\n"
    "Die Festplatte wird nur gelesen. Protokollzeilen gehen nach stderr, Daten nach stdout.\n";

constexpr const char* kNoCommand =
    "Es fehlt ein Befehl (search, list, export, rescue, domain, metadata-image, verify, check, "
    "map oder drives).";

constexpr const char* kFooter =
    "Rückgabewerte:\n"
    "  0    Erfolg: Festplatte gefunden, alle gewünschten Aufnahmen vollständig gespeichert\n"
    "  1    Mindestens eine Aufnahme wurde nicht vollständig gespeichert oder enthält nicht "
    "lesbare Sektoren (mit Nullen gefüllt), oder ein Platz des Verzeichnisses war nicht lesbar "
    "(list), oder check fand Befunde\n"
    "  2    Fehlerhafter Aufruf (unbekannte Option, unbekannte Eintragsnummer, kein Eintrag, "
    "fehlerhafte Mapdatei)\n"
    "  3    Keine Recorder-Festplatte gefunden oder sie ließ sich nicht öffnen\n"
    "  130  Mit Strg+C (oder SIGTERM, SIGHUP) abgebrochen; die angefangene Datei ist "
    "geschlossen und lässt sich mit export --resume fortsetzen\n"
    "\n"
    "Beispiele:\n"
    "  korvelo-cli --drive /dev/sdb list\n"
    "  korvelo-cli --drive platte.img list --json\n"
    "  korvelo-cli --drive platte.img export 1 3 -o ~/Filme\n"
    "  korvelo-cli --drive platte.img export --all -o ~/Filme --record-date\n"
    "  korvelo-cli --drive platte.img --mapfile platte.map export --all -o ~/Filme\n"
    "  korvelo-cli --drive platte.img export --all -o ~/Filme --resume\n"
    "  korvelo-cli --drive platte.img check --deep\n"
    "  korvelo-cli --drive platte.img map -o belegung.svg\n";

// The exit codes, and of the examples those that use `command`: a command's help
// shows its own examples only.
std::string commandFooter(const std::string& command) {
  const std::string footer = kFooter;
  const size_t examplesAt = footer.find("\nBeispiele:\n");
  std::string own;
  std::istringstream examples(footer.substr(examplesAt + std::string("\nBeispiele:\n").size()));
  for (std::string line; std::getline(examples, line);) {
    const size_t at = line.find(" " + command);
    const size_t end = at + 1 + command.size();
    if (at != std::string::npos && (end == line.size() || line[end] == ' ')) own += line + "\n";
  }
  return footer.substr(0, examplesAt) + (own.empty() ? "" : "\nBeispiele:\n" + own);
}

// The columns help text may fill: stdout's terminal width, 80 when it is no terminal.
int helpColumns() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
  return 80;
}

// Wraps every line longer than `columns` at blanks; continuation lines start where the
// line's text column starts (after the first gap of two blanks, else its indentation).
std::string wrapHelp(const std::string& text, int columns) {
  std::istringstream lines(text);
  std::string wrapped;
  for (std::string line; std::getline(lines, line);) {
    const size_t content = line.find_first_not_of(' ');
    const size_t gap = content == std::string::npos ? std::string::npos : line.find("  ", content);
    const size_t textColumn =
        gap != std::string::npos && line.find_first_not_of(' ', gap) != std::string::npos
            ? line.find_first_not_of(' ', gap)
            : (content == std::string::npos ? 0 : content);
    const std::string indent(static_cast<size_t>(cli::utf8Columns(line.substr(0, textColumn))),
                             ' ');
    while (cli::utf8Columns(line) > columns) {
      // The last blank at which the line still fits, but never inside the indentation.
      size_t cut = std::string::npos;
      for (size_t at = line.find(' ', textColumn); at != std::string::npos;
           at = line.find(' ', at + 1)) {
        if (cli::utf8Columns(std::string_view(line).substr(0, at)) > columns) break;
        cut = at;
      }
      if (cut == std::string::npos || cut <= indent.size()) break;  // one long word: left as is
      wrapped += line.substr(0, cut) + "\n";
      line = indent + line.substr(line.find_first_not_of(' ', cut));
    }
    wrapped += line + "\n";
  }
  return wrapped;
}

class GermanFormatter : public CLI::Formatter {
 public:
  GermanFormatter() {
    label("Usage", "Aufruf");
    label("OPTIONS", "OPTIONEN");
    label("SUBCOMMAND", "BEFEHL");
    label("SUBCOMMANDS", "BEFEHLE");
    label("Subcommands", "Befehle");
    label("Positionals", "Argumente");
    label("REQUIRED", "(Pflicht)");
    label("Needs", "Braucht");
    label("Excludes", "Schließt aus");
    column_width(32);
  }

  // The value's name only ("NUMMER"): the parser's notes on type and range
  // (":INT in [0 - 65535]") mean nothing to the user; the description says what fits.
  std::string make_option_opts(const CLI::Option* option) const override {
    std::string text = CLI::Formatter::make_option_opts(option);
    const std::string full = option->get_type_name();
    const size_t note = full.find(':');
    const size_t at = text.find(full);
    if (note != std::string::npos && at != std::string::npos)
      text.replace(at, full.size(), full.substr(0, note));
    return text;
  }

  // The parser pads the left column by bytes; a name with an umlaut ("BLÖCKE") would
  // leave its description one column short of the others.
  std::string make_option(const CLI::Option* option, bool positional) const override {
    const std::string name = make_option_name(option, positional) + make_option_opts(option);
    const size_t multibyteExtra = name.size() - static_cast<size_t>(cli::utf8Columns(name));
    std::stringstream out;
    CLI::detail::format_help(out, name, make_option_desc(option),
                             get_column_width() + multibyteExtra);
    return out.str();
  }

  // The whole help in one piece: the commands in a list, then each command's arguments
  // and options as groups of their own, so that every option is found under its command.
  std::string make_help(const CLI::App* app, std::string name,
                        CLI::AppFormatMode mode) const override {
    return wrapHelp(unwrappedHelp(app, std::move(name), mode), helpColumns());
  }

 private:
  std::string unwrappedHelp(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const {
    if (app->get_parent() != nullptr || mode != CLI::AppFormatMode::All)
      return CLI::Formatter::make_help(app, std::move(name), mode);
    std::stringstream out;
    out << make_description(app) << get_label("Usage") << ": " << name
        << " [OPTIONEN] BEFEHL [ARGUMENTE]\n"
        << make_groups(app, mode);
    // Commands of commands ("rescue export") are listed under their full name.
    std::vector<std::pair<std::string, const CLI::App*>> commands;
    for (const CLI::App* command : app->get_subcommands({})) {
      commands.emplace_back(command->get_name(), command);
      for (const CLI::App* inner : command->get_subcommands({}))
        commands.emplace_back(command->get_name() + " " + inner->get_name(), inner);
    }
    out << "\nBefehle:\n";
    for (const auto& [commandName, command] : commands)
      CLI::detail::format_help(out, commandName, command->get_description(), get_column_width());
    for (const auto& [commandName, command] : commands) {
      const auto arguments =
          command->get_options([](const CLI::Option* option) { return option->get_positional(); });
      if (!arguments.empty()) out << make_group("Argumente von " + commandName, true, arguments);
      out << make_groups(command, CLI::AppFormatMode::Sub);
    }
    out << "\n" << make_footer(app);
    return out.str();
  }
};

// What comes after the last ": " of a message, or the whole message.
std::string detailOf(const std::string& message) {
  const size_t colon = message.rfind(": ");
  return colon == std::string::npos ? message : message.substr(colon + 2);
}

// What comes before the first ':' of a message (the option's name), or the whole message.
std::string subjectOf(const std::string& message) {
  const size_t colon = message.find(':');
  return colon == std::string::npos ? message : message.substr(0, colon);
}

template <typename Error>
bool is(const CLI::ParseError& error) {
  return dynamic_cast<const Error*>(&error) != nullptr;
}

// CLI11's own texts are English; the user gets a German sentence naming the culprit.
std::string germanParseError(const CLI::ParseError& error) {
  const std::string message = error.what();
  if (is<CLI::ExtrasError>(error)) return "Unerwartete Angabe: " + detailOf(message);
  if (is<CLI::ValidationError>(error)) return "Ungültiger Wert bei " + message;
  if (is<CLI::ConversionError>(error)) return "Ungültiger Wert bei " + subjectOf(message);
  if (is<CLI::ArgumentMismatch>(error))
    return "Fehlender oder falscher Wert bei " + subjectOf(message);
  if (is<CLI::RequiredError>(error)) {
    // "--output is required": an option of the command; anything else: the command itself.
    const std::string required = " is required";
    if (message.ends_with(required) && message.find(' ') == message.size() - required.size())
      return "Es fehlt die Angabe " + message.substr(0, message.size() - required.size()) + ".";
    return kNoCommand;
  }
  if (is<CLI::ExcludesError>(error)) return "Unverträgliche Optionen: " + subjectOf(message);
  return "Fehlerhafter Aufruf.";
}

// " Meinten Sie „list“?" when one of `names` is close to `word`.
std::string suggestionFor(const std::string& word, const std::vector<std::string>& names) {
  const std::optional<std::string> nearest = nearestName(word, names);
  return nearest ? " Meinten Sie „" + *nearest + "“?" : "";
}

std::vector<std::string> commandNames(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::App* command : app.get_subcommands({})) names.push_back(command->get_name());
  return names;
}

std::vector<std::string> optionNames(const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::Option* option : command.get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    for (const std::string& name : option->get_snames()) names.push_back("-" + name);
  }
  return names;
}

// The parser names the words it did not take in its own order ("--json lsit"); the user
// learns of the first as written, with the nearest command or option when one is close.
std::string unexpectedWordProblem(const CLI::App& app, int argc, const char* const* argv,
                                  const std::string& message) {
  std::vector<std::string> extras;
  std::istringstream words(detailOf(message));
  for (std::string word; words >> word;) extras.push_back(word);
  std::string word = extras.empty() ? std::string() : extras.front();
  for (int i = 1; i < argc; ++i) {
    if (std::find(extras.begin(), extras.end(), argv[i]) != extras.end()) {
      word = argv[i];
      break;
    }
  }
  const std::string shown = escapedBytes(word);
  const auto chosen = app.get_subcommands();
  if (!word.starts_with("-")) {
    if (!chosen.empty()) {
      // A mistyped command of a command ("rescue exprt") is named like a mistyped command.
      const CLI::App* innermost = chosen.front();
      while (!innermost->get_subcommands().empty())
        innermost = innermost->get_subcommands().front();
      return "Unerwartete Angabe „" + shown + "“." + suggestionFor(word, commandNames(*innermost));
    }
    return "Unbekannter Befehl „" + shown + "“." + suggestionFor(word, commandNames(app));
  }
  const std::string name = word.substr(0, word.find('='));
  std::vector<std::string> own = optionNames(app);
  std::vector<std::string> elsewhere;
  for (const CLI::App* command : app.get_subcommands({})) {
    const bool isChosen = std::find(chosen.begin(), chosen.end(), command) != chosen.end();
    for (const std::string& option : optionNames(*command))
      (isChosen || chosen.empty() ? own : elsewhere).push_back(option);
  }
  if (!chosen.empty() && std::find(elsewhere.begin(), elsewhere.end(), name) != elsewhere.end())
    return "Die Option „" + escapedBytes(name) + "“ gibt es bei „" + chosen.front()->get_name() +
           "“ nicht.";
  return "Unbekannte Option „" + escapedBytes(name) + "“." + suggestionFor(name, own);
}

ExitCode reportUsageError(const std::string& text, std::ostream& err) {
  err << kProgramName << ": " << text << "\n"
      << "Hilfe: " << kProgramName << " --help\n";
  return ExitCode::UsageError;
}

void addGlobalOptions(CLI::App& app, GlobalOptions& global, int& fatSize) {
  app.add_option("--drive", global.drives,
                 "Blockgerät oder Abbilddatei statt der Festplatten des Rechners; mehrfach "
                 "angebbar, die Pfade erhalten der Reihe nach die Laufwerke 0, 1, 2 ...; "
                 "\"udisks:/dev/sdb\" lässt udisks2 das Gerät nur zum Lesen öffnen (polkit "
                 "fragt nach dem Passwort)")
      ->type_name("PFAD")
      ->allow_extra_args(false);
  addMapfileOption(app, global);
  app.add_flag("--tevion", global.tevion,
               "Festplatte eines Tevion PVR 8005 HDD (prüft \"file_system.sys\" nachsichtig)");
  app.add_flag("--no-filesys-check", global.noFileSysCheck,
               "Einen fehlenden \"file_system.sys\"-Sektor nicht als Fehler werten");
  app.add_option("--fat-size", fatSize,
                 "File-FAT-Size fest vorgeben (Sektoren); ohne diese Option wird sie auf der "
                 "Festplatte ermittelt")
      ->type_name("N")
      ->check(wholeNumberIn(1, 65535, "Sektoren"));
  app.add_flag(
      "-q,--quiet", global.quiet,
      "Auf stderr nur Warnungen, Fehler und die Zusammenfassungen, keine Fortschrittszeile");
  app.add_flag("-v,--verbose", global.verbose, "Das ganze Protokoll auf stderr (Vorgabe)");
}

CLI::App* addListCommand(CLI::App& app, ListOptions& list) {
  CLI::App* command = app.add_subcommand(
      "list", "Sucht die Festplatte und gibt die Liste der Aufnahmen auf stdout aus");
  command->option_defaults()->group("Optionen von list");
  command->add_flag("--json", list.json, "Liste als JSON-Objekt ausgeben");
  return command;
}

CLI::App* addExportCommand(CLI::App& app, ExportOptions& options) {
  CLI::App* command =
      app.add_subcommand("export",
                         "Speichert Aufnahmen als \".hav\"-Dateien; stdout erhält die Pfade der "
                         "vollständig geschriebenen Dateien");
  command->option_defaults()->group("Optionen von export");
  command
      ->add_option("EINTRAGSNUMMER", options.entries,
                   "Eintragsnummern der Aufnahmen, wie \"list\" sie zeigt (nicht Listenplätze)")
      ->type_name("")
      ->check(wholeNumberIn(0, 65535, ""));
  command->add_flag("--all", options.all, "Alle Aufnahmen speichern");
  command
      ->add_option("-o,--output", options.outputFolder,
                   "Zielordner (Vorgabe: das aktuelle Verzeichnis)")
      ->type_name("ORDNER");
  command->add_flag("--force", options.force,
                    "Vorhandene Zieldateien überschreiben (mit --resume: nur fremde)");
  command->add_flag("--resume", options.resume,
                    "Vorhandene Zieldateien nach ihrem letzten ganzen HOJIN fortsetzen, wenn Kopf, "
                    "Verzeichniseintrag und dieser HOJIN zur Aufnahme gehören; sonst überspringen");
  command->add_flag(
      "--retry-bad", options.retryBad,
      "Wie --resume, und zuvor die Sektoren, die das Manifest als mit Nullen gefüllt "
      "verzeichnet, einzeln erneut lesen und was jetzt lesbar ist an ihre Stelle schreiben");
  command
      ->add_option("--pause", options.pauseMs,
                   "Nach je 130 Kilobyte so viele Millisekunden warten (0 bis 100)")
      ->type_name("MS")
      ->check(wholeNumberIn(0, 100, "Millisekunden"));
  command->add_flag("--record-date", options.recordDate,
                    "Den Aufnahmebeginn als Datum der Dateien setzen");
  command->add_flag("--no-entry-number", options.noEntryNumber,
                    "Keine Eintragsnummer an den Anfang der Dateinamen setzen");
  command->add_flag("--warnings", options.warnings,
                    "Warnungen zu jedem HOJIN-Kopf zeigen (sonst nur die wichtigen)");
  return command;
}

// The whole command line: global options, then the three commands with their own.
void describeCommandLine(CLI::App& app, Invocation& invocation, int& fatSize, bool& showVersion,
                         std::vector<std::string>& helpTopic) {
  app.formatter(std::make_shared<GermanFormatter>());
  app.option_defaults()->group("Allgemeine Optionen");
  app.set_help_flag("-h,--help", "Diese Hilfe zeigen und beenden");
  app.footer(kFooter);
  app.fallthrough();  // global options may also follow the command word
  app.require_subcommand(0, 1);
  app.add_flag("-V,--version", showVersion, "Versionsnummer zeigen und beenden");
  addGlobalOptions(app, invocation.global, fatSize);

  app.add_subcommand("search", "Sucht die Recorder-Festplatte und prüft die File-FAT-Size")
      ->group("Befehle");
  addListCommand(app, invocation.list)->group("Befehle");
  CLI::App* exportCommand = addExportCommand(app, invocation.exportOptions);
  exportCommand->group("Befehle");
  exportCommand->add_flag(
      "--sidecar", invocation.exportResults.sidecar,
      "Neben jede \".hav\"-Datei eine \".hav.json\"-Datei mit ihren Prüfsummen legen");
  addDomainCommand(app, invocation.domain)->group("Befehle");
  addMetadataImageCommand(app, invocation.metadataImage)->group("Befehle");
  addVerifyCommand(app, invocation.verify)->group("Befehle");
  addRescueCommand(app, invocation.rescue)->group("Befehle");
  addCheckCommand(app, invocation.check)->group("Befehle");
  addMapCommand(app, invocation.map)->group("Befehle");
  addDrivesCommand(app, invocation.drives)->group("Befehle");
  addHelpCommand(app, helpTopic)->group("Befehle");
  for (CLI::App* command : app.get_subcommands({})) {
    command->set_help_flag();  // the global one serves
    command->footer(commandFooter(command->get_name()));
    for (CLI::App* inner : command->get_subcommands({}))
      inner->footer(commandFooter(command->get_name() + " " + inner->get_name()));
  }
}

// Empty when the export's choice of recordings makes sense, else what is wrong with it.
std::string exportChoiceProblem(const ExportOptions& options) {
  if (options.all && !options.entries.empty())
    return "Eintragsnummern und --all schließen sich aus.";
  if (!options.all && options.entries.empty()) return "Bitte Eintragsnummern oder --all angeben.";
  return {};
}

Command commandNamed(const std::string& word) {
  if (word == "list") return Command::List;
  if (word == "export") return Command::Export;
  if (word == "domain") return Command::Domain;
  if (word == "metadata-image") return Command::MetadataImage;
  if (word == "verify") return Command::Verify;
  if (word == "rescue") return Command::Rescue;
  if (word == "check") return Command::Check;
  if (word == "map") return Command::Map;
  if (word == "drives") return Command::Drives;
  return Command::Search;
}

}  // namespace

std::string versionLine() {
  return std::string(kProgramName) + " " + kVersion;
}

ParseResult parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                             std::ostream& err) {
  Invocation invocation;
  int fatSize = 0;
  bool showVersion = false;
  std::vector<std::string> helpTopic;
  CLI::App app(kDescription, kProgramName);
  describeCommandLine(app, invocation, fatSize, showVersion, helpTopic);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    const auto chosen = app.get_subcommands();
    out << (chosen.empty() ? app.help("", CLI::AppFormatMode::All)
                           : chosen.front()->help(kProgramName));
    return ExitCode::Success;
  } catch (const CLI::CallForAllHelp&) {
    out << app.help("", CLI::AppFormatMode::All);
    return ExitCode::Success;
  } catch (const CLI::ExtrasError& error) {
    return reportUsageError(unexpectedWordProblem(app, argc, argv, error.what()), err);
  } catch (const CLI::ParseError& error) {
    return reportUsageError(germanParseError(error), err);
  }

  if (showVersion) {
    out << versionLine() << "\n";
    return ExitCode::Success;
  }
  const auto chosen = app.get_subcommands();
  if (chosen.empty()) return reportUsageError(kNoCommand, err);
  if (chosen.front()->get_name() == "help") {
    const std::optional<std::string> help = helpFor(app, helpTopic);
    if (!help)
      return reportUsageError("Unbekannter Befehl „" + escapedBytes(helpTopic.back()) + "“." +
                                  suggestionFor(helpTopic.back(), commandNames(app)),
                              err);
    out << *help;
    return ExitCode::Success;
  }
  invocation.command = commandNamed(chosen.front()->get_name());
  if (app.count("--fat-size") > 0) invocation.global.fatSize = fatSize;
  if (invocation.global.quiet && invocation.global.verbose)
    return reportUsageError("-q und -v schließen sich aus.", err);
  if (const std::string fault = assignMapfilesToDrives(app, invocation.global); !fault.empty())
    return reportUsageError(fault, err);
  if (const std::string fault = firstMapfileProblem(invocation.global); !fault.empty()) {
    err << kProgramName << ": " << fault << "\n";
    return ExitCode::UsageError;
  }
  if (invocation.command == Command::Export) {
    const std::string problem = exportChoiceProblem(invocation.exportOptions);
    if (!problem.empty()) return reportUsageError(problem, err);
  }
  if (invocation.command == Command::Verify) {
    const VerifyCommandOptions& verify = invocation.verify;
    if (verify.files.empty() && verify.manifest.empty())
      return reportUsageError("Bitte \".hav\"-Dateien oder --manifest angeben.", err);
    if (!verify.files.empty() && !verify.manifest.empty())
      return reportUsageError("\".hav\"-Dateien und --manifest schließen sich aus.", err);
  }
  return invocation;
}

}  // namespace korvelo::cli
