// palvane: the operations on DXF drawings from the command line. Each
// command lives in a file of its own under commands/; this file adds them
// to the command line and turns their failures into exit statuses.

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#include <fcntl.h>
#include <io.h>
#endif

#include <CLI/CLI.hpp>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "command.h"
#include "console.h"
#include "failure.h"
#include "host/error.h"
#include "operation_host.h"
#include "platform/files.h"

namespace {

constexpr const char* kVersion = "0.1.0";

#ifdef _WIN32
// The arguments as UTF-8, whatever the code page; output bytes exactly as
// written, with no line ends translated.
std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  for (int i = 0; wide != nullptr && i < count; ++i) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
    args.push_back(std::move(arg));
  }
  ::LocalFree(wide);
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
  return args;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  using namespace palvane::tools;
#ifdef _WIN32
  std::vector<std::string> utf8_args = Utf8Arguments();
  std::vector<char*> utf8_argv;
  for (std::string& arg : utf8_args) utf8_argv.push_back(arg.data());
  utf8_argv.push_back(nullptr);
  argc = static_cast<int>(utf8_args.size());
  argv = utf8_argv.data();
#endif
  // An interrupted command leaves no temporary file or folder behind.
  palvane::platform::RemoveTemporariesOnInterrupt();
  CLI::App cli{"Palvane: river cross-section operations on DXF drawings"};
  cli.set_version_flag("--version", kVersion);
  cli.require_subcommand(1);
  // Options begin with "-" everywhere: "/path" is a path, on Windows too.
  cli.allow_windows_style_options(false);
  std::string host_kind = "memory";
  cli.add_option("--host", host_kind,
                 "memory: the operations on the in-memory drawing; automation (Windows build): "
                 "through the COM adapter over the automation facade of that drawing")
      ->check(CLI::IsMember({"memory", "automation"}))
      ->capture_default_str();
  const Command commands[] = {
      AddInfo(cli),     AddPointAlong(cli), AddViewSection(cli), AddKeyplan(cli), AddGis(cli),
      AddGenerate(cli), AddCheck(cli),      AddStation(cli),     AddTag(cli),     AddSections(cli)};
  try {
    cli.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return cli.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return cli.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return cli.exit(e);
  } catch (const CLI::ParseError& e) {
    Say(std::string(e.what()) + " (see palvane --help)");
    return 2;
  }
  if (UseAutomationHost(host_kind == "automation") != (host_kind == "automation")) {
    std::fprintf(stderr, "palvane: --host automation exists only in the Windows build\n");
    return 2;
  }
  try {
    int status = 2;
    for (const Command& command : commands) {
      if (command.app->parsed()) status = command.run();
    }
    // What a command printed must have reached its reader.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      throw Failure{2, "cannot write to standard output"};
    }
    return status;
  } catch (const Failure& f) {
    Say(f.reason);
    return f.status;
  } catch (const palvane::host::Error& e) {
    // A host failure outside the operations' own traps, such as while
    // drawing the picture.
    Say("error " + std::to_string(e.number()) + ": " + e.description());
    return 2;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "palvane: out of memory\n");
    return 2;
  }
}
