#include "platform_probe.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace app {
namespace {

// A display on another host may not answer at all; the program does not wait for it longer.
constexpr auto kProbeLimit = std::chrono::seconds(5);

QStringList PlatformPluginFolders() {
  QStringList folders;
  const QString own = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH");
  if (!own.isEmpty()) folders << own;
  for (const QString& path : qEnvironmentVariable("QT_PLUGIN_PATH").split(':', Qt::SkipEmptyParts))
    folders << path + "/platforms";
  folders << QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms";
  return folders;
}

bool ServesPlatform(const QJsonObject& meta, const QString& name) {
  if (!meta.value("IID").toString().contains("QPlatformIntegrationFactoryInterface")) return false;
  const QJsonArray keys = meta.value("MetaData").toObject().value("Keys").toArray();
  for (const auto& key : keys) {
    if (key.toString().compare(name, Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

// The plugin is found as Qt finds it (by the keys in its metadata, which is read without
// loading it), then loaded, so a library it needs that is missing shows up here.
std::string PluginProblem(const std::string& platform) {
  const QString name = QString::fromStdString(platform);
  const QStringList folders = PlatformPluginFolders();
  for (const QString& folder : folders) {
    const QDir dir(folder);
    for (const QString& file : dir.entryList({"*.so"}, QDir::Files)) {
      QPluginLoader loader(dir.filePath(file));
      if (!ServesPlatform(loader.metaData(), name)) continue;
      if (loader.load()) return {};
      return "the Qt platform plugin " + dir.filePath(file).toStdString() +
             " does not load: " + loader.errorString().toStdString();
    }
  }
  return "no Qt platform plugin \"" + platform + "\" is installed (looked in " +
         folders.join(", ").toStdString() + ")";
}

// Runs `probe` on a thread of its own and gives up after kProbeLimit (the thread is left to
// finish by itself).
std::string Bounded(std::function<std::string()> probe) {
  struct Result {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::string problem;
  };
  auto result = std::make_shared<Result>();
  std::thread([result, probe = std::move(probe)] {
    std::string problem = probe();
    std::lock_guard lock(result->mutex);
    result->problem = std::move(problem);
    result->finished = true;
    result->done.notify_all();
  }).detach();
  std::unique_lock lock(result->mutex);
  if (!result->done.wait_for(lock, kProbeLimit, [&] { return result->finished; })) {
    return "no answer within 5 s";
  }
  return result->problem;
}

// Connects as the X platform plugin will (libxcb, with the user's authority file), so a
// display that refuses this client is found too.
std::string XProblem(const std::string& display) {
  return Bounded([display]() -> std::string {
    void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (xcb == nullptr) return "libxcb.so.1 is not installed";
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    if (connect == nullptr || hasError == nullptr || disconnect == nullptr) {
      return "libxcb.so.1 lacks xcb_connect";
    }
    void* connection = connect(display.c_str(), nullptr);
    const int error = hasError(connection);
    if (error != 0) {
      disconnect(connection);
      return "the connection was refused or failed (xcb error " + std::to_string(error) + ")";
    }
    // Kept open for the program's life: an X server resets when its last client leaves, and
    // a connection made during that reset fails, which would stop Qt's start.
    static std::atomic<void*> kept{nullptr};
    if (void* old = kept.exchange(connection)) disconnect(old);
    return {};
  });
}

std::string WaylandProblem(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return "the socket path is too long";
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::strerror(errno);
  const bool connected =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  const int error = errno;
  close(fd);
  return connected ? std::string() : std::strerror(error);
}

}  // namespace

DisplayProbes RealDisplayProbes() {
  DisplayProbes probes;
  probes.env = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value != nullptr ? value : "");
  };
  probes.plugin = PluginProblem;
  probes.x = XProblem;
  probes.wayland = WaylandProblem;
  return probes;
}

}  // namespace app
