#include "dxf/file_io.h"

#include <fcntl.h>
#ifdef __linux__
#include <sys/mman.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "dxf/drawing.h"
#include "dxf/tags.h"

namespace palvane::dxf {

std::string ReadFileBytes(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) throw DxfError(path + ": " + std::strerror(errno));
  // Sized once from the file, so that reading never holds two copies.
  std::string bytes;
  struct stat st;
  if (::fstat(::fileno(f), &st) == 0 && st.st_size > 0) {
    bytes.reserve(static_cast<size_t>(st.st_size));
#ifdef __linux__
    // The drawing keeps slices of these bytes and reads them in no set order
    // afterwards; huge pages spare most of the address translation misses.
    // Advice only, given before the pages are first touched.
    constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<uintptr_t>(bytes.data());
    const uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t last = (begin + bytes.capacity()) & ~(kHugePage - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
    bytes.resize(static_cast<size_t>(st.st_size));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  }
  char buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw DxfError(path + ": read error");
  return bytes;
}

void WriteFileAtomically(const std::string& path, const std::string& bytes, bool overwrite) {
  struct stat st;
  if (!overwrite && ::stat(path.c_str(), &st) == 0) {
    throw DxfError(path + ": the file exists; it is not overwritten unless asked");
  }
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw DxfError(path + ": cannot write here: " + std::strerror(errno));
  auto fail = [&](const char* what) {
    const std::string reason = std::strerror(errno);
    ::close(fd);
    ::unlink(temp.c_str());
    throw DxfError(path + ": " + what + ": " + reason);
  };
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      fail("write failed");
    }
    done += static_cast<size_t>(w);
  }
  if (::fchmod(fd, 0644) != 0) fail("cannot set permissions");
  if (::fsync(fd) != 0) fail("cannot flush");
  if (::close(fd) != 0) {
    ::unlink(temp.c_str());
    throw DxfError(path + ": close failed: " + std::strerror(errno));
  }
  if (overwrite) {
    if (::rename(temp.c_str(), path.c_str()) != 0) {
      const std::string reason = std::strerror(errno);
      ::unlink(temp.c_str());
      throw DxfError(path + ": cannot replace: " + reason);
    }
  } else {
    // A hard link never replaces an existing file, even one made meanwhile.
    if (::link(temp.c_str(), path.c_str()) != 0) {
      const std::string reason = std::strerror(errno);
      ::unlink(temp.c_str());
      throw DxfError(path + ": " + reason);
    }
    ::unlink(temp.c_str());
  }
}

std::shared_ptr<host::memory::MemDocument> LoadDrawing(host::memory::MemApplication& app,
                                                       const std::string& path) {
  std::string bytes = ReadFileBytes(path);
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::shared_ptr<host::memory::MemDocument> doc;
  try {
    doc = ReadDrawing(app, std::move(bytes), name);
  } catch (const DxfError& e) {
    throw DxfError(path + ": " + e.what());
  }
  app.Open(doc);
  return doc;
}

void SaveDrawing(host::memory::MemDocument& doc, const std::string& path, bool overwrite) {
  WriteFileAtomically(path, WriteDrawing(doc), overwrite);
}

}  // namespace palvane::dxf
