// The command line of the s470 tool and the dispatch to its commands.
#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "lang/lang_api.h"
#include "lang/text_lookup.h"
#include "tool.h"

namespace s470::tool {

namespace {

// The program's file name without folder and ".exe".
std::string BaseName(std::string path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash != std::string::npos) path = path.substr(slash + 1);
  if (path.size() > 4 && (path.compare(path.size() - 4, 4, ".exe") == 0 ||
                          path.compare(path.size() - 4, 4, ".EXE") == 0))
    path.resize(path.size() - 4);
  return path;
}

}  // namespace

int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool errIsTerminal) {
  const bool alias = !args.empty() && BaseName(args[0]) == "fwscramble";
  SetProgramName(alias ? "fwscramble" : "s470");

  CLI::App app{
      alias ? "Plain Intel HEX files to scrambled firmware files and back."
            : "Setups, bus analysis and firmware files of R470/S470 gauges and QLBus modules.",
      ProgramName()};
  app.require_subcommand(1);
  app.fallthrough();
  bool quiet = false;
  app.add_flag("-q,--quiet", quiet, "Show no progress, only failures and warnings");

  std::string port, file, report, inPath, outPath;
  bool json = false;
  CLI::App* read = nullptr;
  CLI::App* write = nullptr;
  CLI::App* analyse = nullptr;
  if (!alias) {
    read = app.add_subcommand("read-setup", "Read the gauge's setup into FILE (made when missing)");
    read->add_option("--port", port,
                     "Serial port: a device path such as /dev/ttyUSB0, or COM3 / 3 on Windows")
        ->required();
    read->add_option("FILE", file, "Setup file")->required();

    write = app.add_subcommand("write-setup", "Write the setup in FILE into the gauge");
    write->add_option("--port", port, "Serial port")->required();
    write->add_option("FILE", file, "Setup file")->required();

    analyse = app.add_subcommand("analyse", "Find and number the modules on the bus and list them");
    analyse->add_option("--port", port, "Serial port of the gauge that carries the bus")
        ->required();
    analyse->add_flag("--json", json, "The list as one JSON document");
    analyse->add_option("--report", report, "Also write the report file (as Analysis.txt) here");
  }
  CLI::App* inspect = nullptr;
  CLI::App* diff = nullptr;
  std::string fileB;
  if (!alias) {
    inspect = app.add_subcommand("inspect", "Show the setup in FILE as the setup editor shows it");
    inspect->add_option("FILE", file, "Setup file")->required();
    inspect->add_flag("--json", json, "The same as one JSON document");
    diff = app.add_subcommand(
        "diff", "Show the fields in which two setup files differ (exit status 1 when they do)");
    diff->add_option("A", file, "Setup file")->required();
    diff->add_option("B", fileB, "Setup file")->required();
  }
  FlashOptions flashOptions;
  CLI::App* flash = nullptr;
  if (!alias) {
    flash =
        app.add_subcommand("flash", "Program new firmware into a module through its bootloader");
    flash->add_option("--port", flashOptions.port, "Serial port")->required();
    flash
        ->add_option("--module", flashOptions.module,
                     "mc1 (QLB-mc1), gauge (the brand's gauge) or ae1im2 (R/S470-ae1/im2)")
        ->required()
        ->check(CLI::IsMember({"mc1", "gauge", "ae1im2"}));
    flash->add_option("--brand", flashOptions.brand, "Brand number (0 to 255; 0: the maker's own)")
        ->check(CLI::Range(0, 255));
    flash->add_option("--dir", flashOptions.dir,
                      "Folder with the firmware files (default: the current one)");
    flash->add_option("--code", flashOptions.code,
                      "Access code (else asked for at the terminal, without echo)");
  }
  CLI::App* scramble =
      app.add_subcommand("scramble", "Plain Intel HEX file IN -> scrambled firmware file OUT");
  CLI::App* unscramble =
      app.add_subcommand("unscramble", "Scrambled firmware file IN -> plain Intel HEX file OUT");
  for (CLI::App* sub : {scramble, unscramble}) {
    sub->add_option("IN", inPath, "Input file")->required();
    sub->add_option("OUT", outPath, "Output file")->required();
  }

  // The first word that is no option names the command.
  for (size_t i = 1; i < args.size(); ++i) {
    if (!args[i].empty() && args[i][0] == '-') continue;
    const auto named =
        app.get_subcommands([&](CLI::App* sub) { return sub->get_name() == args[i]; });
    if (named.empty()) {
      err << ProgramName() << ": unknown command '" << args[i] << "'; see " << ProgramName()
          << " --help\n";
      return kExitUsage;
    }
    break;
  }

  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e, out, err);
  } catch (const CLI::ParseError& e) {
    err << ProgramName() << ": " << e.what() << "; see " << ProgramName() << " --help\n";
    return kExitUsage;
  }

  ToolLang lang;
  struct LangScope {
    explicit LangScope(LangApi* lang) { SetLang(lang); }
    ~LangScope() { SetLang(nullptr); }
  } langScope(&lang);
  SetBrand(0);
  const Console console(out, err, quiet, errIsTerminal);
  try {
    if (read != nullptr && read->parsed()) return ReadSetupCommand(console, port, file);
    if (write != nullptr && write->parsed()) return WriteSetupCommand(console, port, file);
    if (analyse != nullptr && analyse->parsed()) return AnalyseCommand(console, port, json, report);
    if (flash != nullptr && flash->parsed()) {
      flashOptions.codeGiven = flash->count("--code") > 0;
      return FlashCommand(console, flashOptions);
    }
    if (inspect != nullptr && inspect->parsed()) return InspectCommand(console, file, json);
    if (diff != nullptr && diff->parsed()) return DiffCommand(console, file, fileB);
    return ScrambleCommand(console, scramble->parsed(), inPath, outPath);
  } catch (const Failure& f) {
    err << ProgramName() << ": " << f.what() << '\n';
    return f.status;
  }
}

}  // namespace s470::tool
