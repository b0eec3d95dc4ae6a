// clang-format off
#include <windows.h>
// clang-format on
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace palvane::platform {
namespace {

// Paths are UTF-8 inside; the system takes them as UTF-16.
std::wstring WidePath(const std::string& path) {
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(), n);
  return wide;
}

// The system's text for the last error, on one line.
std::string LastErrorText() {
  const DWORD code = ::GetLastError();
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n > 0 ? std::string(text, n) : "error " + std::to_string(code);
  if (text != nullptr) ::LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) {
    out.pop_back();
  }
  return out;
}

}  // namespace

std::string FileName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

InputFile::InputFile(const std::string& path) : path_(path) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw FileError(path + ": is a directory");
  }
  file_ = ::_wfopen(WidePath(path).c_str(), L"rb");
  if (file_ == nullptr) throw FileError(path + ": " + std::strerror(errno));
  struct _stat64 st;
  if (::_fstat64(::_fileno(file_), &st) != 0) return;
  if ((st.st_mode & S_IFMT) == S_IFDIR) {
    std::fclose(file_);
    throw FileError(path + ": is a directory");
  }
  if ((st.st_mode & S_IFMT) == S_IFREG) size_ = static_cast<uint64_t>(st.st_size);
}

InputFile::~InputFile() { std::fclose(file_); }

size_t InputFile::Read(char* data, size_t n) {
  const size_t got = std::fread(data, 1, n, file_);
  if (got < n && std::ferror(file_) != 0) throw FileError(path_ + ": read error");
  return got;
}

void AdviseRandomAccess(void*, size_t) {}

PendingFile::PendingFile(const std::string& path, const std::string& bytes, bool overwrite)
    : path_(path), target_(path), overwrite_(overwrite) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  if (!overwrite && attributes != INVALID_FILE_ATTRIBUTES) {
    throw FileError(path + ": the file exists; it is not overwritten unless asked");
  }
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw FileError(path + ": is a directory");
  }
  // A file marked read-only is its user's word that it stays as it is.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    throw FileError(path + ": the file is read-only; it is not replaced");
  }
  // A temporary file beside the target, named after this process and a
  // counter, created only if it does not exist yet.
  HANDLE file = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; file == INVALID_HANDLE_VALUE; ++attempt) {
    temp_ = path + "." + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(attempt) +
            ".tmp";
    file = ::CreateFileW(WidePath(temp_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && (::GetLastError() != ERROR_FILE_EXISTS || attempt >= 100)) {
      temp_.clear();
      throw FileError(path + ": cannot write here: " + LastErrorText());
    }
  }
  // A constructor that throws runs no destructor: the file goes here.
  auto fail = [&](const char* what) {
    const std::string reason = LastErrorText();
    ::CloseHandle(file);
    ::DeleteFileW(WidePath(temp_).c_str());
    throw FileError(path + ": " + what + ": " + reason);
  };
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (PlannedWriteFault().after >= 0 &&
        done + chunk > static_cast<uint64_t>(PlannedWriteFault().after)) {
      ::SetLastError(ERROR_DISK_FULL);
      fail("write failed");
    }
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) fail("write failed");
    done += written;
  }
  if (!::FlushFileBuffers(file)) fail("cannot flush");
  if (!::CloseHandle(file)) {
    const std::string reason = LastErrorText();
    ::DeleteFileW(WidePath(temp_).c_str());
    throw FileError(path + ": close failed: " + reason);
  }
}

PendingFile::~PendingFile() {
  if (!committed_ && !temp_.empty()) ::DeleteFileW(WidePath(temp_).c_str());
}

void RemoveTemporariesOnInterrupt() {}
int RegisterTemporary(const std::string&, bool) { return -1; }
void ReleaseTemporary(int) {}

void PendingFile::Commit() {
  // Without MOVEFILE_REPLACE_EXISTING the move refuses an existing target,
  // even one made meanwhile.
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (overwrite_ ? MOVEFILE_REPLACE_EXISTING : 0);
  if (!::MoveFileExW(WidePath(temp_).c_str(), WidePath(target_).c_str(), flags)) {
    throw FileError(path_ + ": " + (overwrite_ ? "cannot replace: " : "") + LastErrorText());
  }
  committed_ = true;
}

}  // namespace palvane::platform
