#include "gis/gis_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "failure.h"

namespace palvane::tools {
namespace {

// The folder of the running program, as the kernel names it.
std::filesystem::path ProgramFolder() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : self.parent_path();
}

GisModuleEntry LoadEntry() {
  const std::filesystem::path path = ProgramFolder() / kGisModuleName;
  // Loaded once and never unloaded: GDAL registers its drivers for the
  // life of the process.
  void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* why = ::dlerror();
    throw Failure{2, "gis needs the GDAL module " + path.string() + ", which cannot be loaded" +
                         (why != nullptr ? std::string(": ") + why : std::string())};
  }
  void* entry = ::dlsym(module, kGisModuleEntry);
  if (entry == nullptr) {
    throw Failure{2, path.string() + " is not Palvane's GDAL module: it has no " +
                         std::string(kGisModuleEntry)};
  }
  return reinterpret_cast<GisModuleEntry>(entry);
}

}  // namespace

GisWritten WriteGisThroughModule(const GisRiver& river, const GisOutput& output) {
  static const GisModuleEntry entry = LoadEntry();
  GisModuleResult result;
  entry(river, output, result);
  if (result.status != 0) throw Failure{result.status, result.reason};
  return std::move(result.written);
}

}  // namespace palvane::tools
