// Local files on the Win32 file API: opened without sharing, times as local file times, the
// file's own attribute word. The handle is kept as a C runtime descriptor (_open_osfhandle), so
// the File object has the same shape on every system. Failures are reported as errno values,
// translated from the system's error codes, so callers read them the same way everywhere.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include "local_file_fault.hpp"
#include "penwick/local_file.hpp"

namespace pw::files {
namespace {

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EWOULDBLOCK;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

// Notes the system's last error in errno.
void NoteLastError() {
  errno = ErrnoOf(::GetLastError());
}

uint32_t AttributesOf(DWORD attributes) {
  const DWORD kept = attributes & kKeptAttributes;
  return kept != 0 ? kept : kAttributeNormal;
}

DWORD SystemAttributesFor(uint32_t attributes) {
  const DWORD kept = attributes & kKeptAttributes;
  return kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
}

HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

std::string Describe(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

std::string FolderOf(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? "." : path.substr(0, separator == 0 ? 1 : separator);
}

// Writes every part to `handle`; false (errno set) on the first failure.
bool WriteAll(HANDLE handle, std::initializer_list<std::span<const uint8_t>> parts) {
  for (const auto part : parts) {
    size_t done = 0;
    while (done < part.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(part.size() - done, 1u << 30));
      DWORD written = 0;
      if (!::WriteFile(handle, part.data() + done, chunk, &written, nullptr) || written == 0) {
        NoteLastError();
        return false;
      }
      done += written;
    }
  }
  return true;
}

// Creates (or truncates) `path` and writes the parts into it; empty on success.
std::string WriteFileAt(const std::string& path, DWORD disposition,
                        std::initializer_list<std::span<const uint8_t>> parts) {
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    NoteLastError();
    return Describe("cannot create " + path, errno);
  }
  const bool written =
      WriteAll(handle, parts) && (::FlushFileBuffers(handle) || (NoteLastError(), false));
  const int error = errno;
  ::CloseHandle(handle);
  return written ? std::string() : Describe("cannot write " + path, error);
}

}  // namespace

bool File::Open(const std::string& path, Mode mode) {
  Close();
  DWORD access = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case Mode::ReadExisting:
      break;
    case Mode::ReadWriteExisting:
      access |= GENERIC_WRITE;
      break;
    case Mode::CreateNew:
      if (LocalFileFaultRequested("read-only")) {
        errno = EROFS;
        return Failed();
      }
      access |= GENERIC_WRITE;
      disposition = CREATE_NEW;
      break;
  }
  const DWORD existing = ::GetFileAttributesA(path.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    errno = mode == Mode::CreateNew ? EEXIST : EISDIR;
    return Failed();
  }
  // A read-only file never opens for writing, whoever asks (the system refuses it too; a
  // compatibility layer running as a privileged user may not).
  if (mode == Mode::ReadWriteExisting && existing != INVALID_FILE_ATTRIBUTES &&
      (existing & FILE_ATTRIBUTE_READONLY) != 0) {
    errno = EACCES;
    return Failed();
  }
  // No sharing: nobody else reads, writes or deletes the file while it is open here.
  const HANDLE handle =
      ::CreateFileA(path.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    NoteLastError();
    return Failed();
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(handle);
    errno = EMFILE;
    return Failed();
  }
  fd_ = fd;
  return true;
}

void File::Close() {
  if (fd_ >= 0) ::_close(fd_);  // closes the handle too
  fd_ = -1;
}

std::optional<size_t> File::Read(uint8_t* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
    DWORD n = 0;
    if (!::ReadFile(HandleOf(fd_), buffer + done, chunk, &n, nullptr)) {
      NoteLastError();
      Failed();
      return std::nullopt;
    }
    if (n == 0) break;
    done += n;
  }
  return done;
}

bool File::Write(const uint8_t* data, size_t size) {
  if (size != 0 && LocalFileFaultRequested("disk-full")) {
    errno = ENOSPC;
    return Failed();
  }
  size_t done = 0;
  while (done < size) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
    DWORD n = 0;
    if (!::WriteFile(HandleOf(fd_), data + done, chunk, &n, nullptr)) {
      NoteLastError();
      return Failed();
    }
    if (n == 0) {
      errno = ENOSPC;  // nothing written and no error: no room
      return Failed();
    }
    done += n;
  }
  return true;
}

bool File::Seek(uint64_t position) {
  if (position > static_cast<uint64_t>(std::numeric_limits<LONGLONG>::max())) {
    errno = EINVAL;
    return Failed();
  }
  LARGE_INTEGER to{};
  to.QuadPart = static_cast<LONGLONG>(position);
  if (::SetFilePointerEx(HandleOf(fd_), to, nullptr, FILE_BEGIN)) return true;
  NoteLastError();
  return Failed();
}

std::optional<uint64_t> File::Position() const {
  LARGE_INTEGER at{};
  if (!::SetFilePointerEx(HandleOf(fd_), LARGE_INTEGER{}, &at, FILE_CURRENT)) {
    NoteLastError();
    Failed();
    return std::nullopt;
  }
  return static_cast<uint64_t>(at.QuadPart);
}

std::optional<uint64_t> File::Size() const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(HandleOf(fd_), &size)) {
    NoteLastError();
    Failed();
    return std::nullopt;
  }
  return static_cast<uint64_t>(size.QuadPart);
}

std::optional<LocalTime> File::LastWriteTime() const {
  FILETIME written{};
  FILETIME local{};
  SYSTEMTIME st{};
  if (!::GetFileTime(HandleOf(fd_), nullptr, nullptr, &written) ||
      !::FileTimeToLocalFileTime(&written, &local) || !::FileTimeToSystemTime(&local, &st)) {
    NoteLastError();
    Failed();
    return std::nullopt;
  }
  return LocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

bool File::SetTimes(const LocalTime& time) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(time.year);
  st.wMonth = static_cast<WORD>(time.month);
  st.wDay = static_cast<WORD>(time.day);
  st.wHour = static_cast<WORD>(time.hour);
  st.wMinute = static_cast<WORD>(time.minute);
  st.wSecond = static_cast<WORD>(time.second);
  FILETIME local{};
  FILETIME utc{};
  if (!::SystemTimeToFileTime(&st, &local) || !::LocalFileTimeToFileTime(&local, &utc)) {
    errno = EINVAL;
    return Failed();
  }
  if (::SetFileTime(HandleOf(fd_), nullptr, &utc, &utc)) return true;
  NoteLastError();
  return Failed();
}

std::optional<uint32_t> File::Attributes() const {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(HandleOf(fd_), &info)) {
    NoteLastError();
    Failed();
    return std::nullopt;
  }
  return AttributesOf(info.dwFileAttributes);
}

bool File::SetAttributes(uint32_t attributes) {
  FILE_BASIC_INFO info{};
  if (!::GetFileInformationByHandleEx(HandleOf(fd_), FileBasicInfo, &info, sizeof info)) {
    NoteLastError();
    return Failed();
  }
  info.FileAttributes = SystemAttributesFor(attributes);
  if (::SetFileInformationByHandle(HandleOf(fd_), FileBasicInfo, &info, sizeof info)) return true;
  NoteLastError();
  return Failed();
}

std::optional<uint32_t> Attributes(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return AttributesOf(attributes);
}

bool SetAttributes(const std::string& path, uint32_t attributes) {
  return ::SetFileAttributesA(path.c_str(), SystemAttributesFor(attributes)) != 0;
}

bool RemoveFile(const std::string& path) {
  return ::DeleteFileA(path.c_str()) != 0;
}

bool ReplaceAtomically(const std::string& replacement, const std::string& target) {
  const DWORD old = ::GetFileAttributesA(target.c_str());
  if (!::MoveFileExA(replacement.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    NoteLastError();
    return false;
  }
  if (old != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesA(target.c_str(), old);
  return true;
}

std::string PathIn(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "\\" + name;
}

std::string NameOf(const std::string& path) {
  return path.substr(path.find_last_of("/\\:") + 1);
}

std::optional<std::string> CurrentFolder() {
  char path[MAX_PATH + 1];
  const DWORD length = ::GetCurrentDirectoryA(sizeof path, path);
  if (length == 0 || length > MAX_PATH) return std::nullopt;
  return std::string(path, length);
}

std::string FallbackFolder() {
  return "C:\\";
}

std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  if (folder != nullptr && *folder != '\0') return folder;
  char path[MAX_PATH + 1];
  const DWORD length = ::GetTempPathA(sizeof path, path);
  if (length == 0 || length > MAX_PATH) return ".";
  std::string result(path, length);
  if (result.size() > 3 && (result.back() == '\\' || result.back() == '/')) result.pop_back();
  return result;
}

FileStart ReadFileStart(const std::string& path, size_t count) {
  FileStart start;
  const DWORD existing = ::GetFileAttributesA(path.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    start.error = EISDIR;
    return start;
  }
  const HANDLE handle =
      ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    start.error = ErrnoOf(::GetLastError());
    return start;
  }
  // Only a file on a disk has a size and can be read from its start.
  LARGE_INTEGER size{};
  if (::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileSizeEx(handle, &size)) {
    start.size = size.QuadPart;
    start.bytes.resize(count);
    size_t done = 0;
    while (done < count) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
      DWORD got = 0;
      if (!::ReadFile(handle, start.bytes.data() + done, chunk, &got, nullptr) || got == 0) break;
      done += got;
    }
    start.bytes.resize(done);
  }
  ::CloseHandle(handle);
  return start;
}

std::string ReplaceFile(const std::string& path,
                        std::initializer_list<std::span<const uint8_t>> parts) {
  static std::atomic<unsigned> counter{0};
  const DWORD existing = ::GetFileAttributesA(path.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return path + " is a folder, not a file";
  const std::string temporary = PathIn(FolderOf(path), "~" + NameOf(path) + ".tmp-" +
                                                           std::to_string(::GetCurrentProcessId()) +
                                                           "-" + std::to_string(counter++));
  // A folder that takes no new file: the file is written in place.
  if (!WriteFileAt(temporary, CREATE_NEW, parts).empty()) {
    ::DeleteFileA(temporary.c_str());
    return WriteFileAt(path, CREATE_ALWAYS, parts);
  }
  if (ReplaceAtomically(temporary, path)) return {};
  const int error = errno;
  ::DeleteFileA(temporary.c_str());
  return Describe("cannot write " + path, error);
}

std::string CheckReplaceable(const std::string& path) {
  const DWORD existing = ::GetFileAttributesA(path.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if ((existing & FILE_ATTRIBUTE_DIRECTORY) != 0) return path + " is a folder, not a file";
    if ((existing & FILE_ATTRIBUTE_READONLY) == 0) return {};
  }
  const std::string folder = FolderOf(path);
  const DWORD folderAttributes = ::GetFileAttributesA(folder.c_str());
  if (folderAttributes == INVALID_FILE_ATTRIBUTES) {
    return Describe("the folder " + folder + " of " + path + " cannot be used",
                    ErrnoOf(::GetLastError()));
  }
  if ((folderAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    return "the folder " + folder + " of " + path + " is a file";
  return {};
}

}  // namespace pw::files
