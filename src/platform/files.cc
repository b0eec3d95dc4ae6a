#include "platform/files.h"

namespace palvane::platform {
namespace {

WriteFault g_write_fault;

}  // namespace

void FailWritesAfterForTesting(int64_t bytes, int error) { g_write_fault = {bytes, error}; }

const WriteFault& PlannedWriteFault() { return g_write_fault; }

void WriteFileAtomically(const std::string& path, const std::string& bytes, bool overwrite) {
  PendingFile(path, bytes, overwrite).Commit();
}

}  // namespace palvane::platform
