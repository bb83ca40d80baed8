#include "program_fixture.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

extern char** environ;

namespace apptest {

using namespace std::chrono_literals;

void ProgramTest::SetUp() {
  workFolder = std::make_unique<WorkFolder>("pw-e2e-");
  dir = workFolder->path();
}

void ProgramTest::TearDown() {
  program.reset();
  sim.reset();
  workFolder.reset();
}

std::vector<uint8_t> ProgramTest::MakeTransferFile(const std::string& name) {
  const auto run = [](std::vector<std::string> args) {
    args.insert(args.begin(), PENWICK_PACK_PATH);
    pwtest::ChildProcess pack;
    EXPECT_TRUE(pack.Start(args));
    EXPECT_EQ(pack.Finish(60s).status, 0) << args[1];
  };
  run({"sample", "region.upk", "3"});
  run({"pack", "region.upk", "image.pak", "0x1234"});
  std::vector<char> eeprom(256);
  for (size_t i = 0; i < eeprom.size(); ++i) eeprom[i] = static_cast<char>(i * 7 + 1);
  std::ofstream("eeprom.bin", std::ios::binary).write(eeprom.data(), 256);
  run({"transfer", "image.pak", "eeprom.bin", name});
  std::ifstream in(name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string ProgramTest::StartSerialSim(const std::vector<std::string>& args,
                                        const std::vector<std::string>& env) {
  std::vector<std::string> all = {PENWICK_SIM_PATH, "serial"};
  all.insert(all.end(), args.begin(), args.end());
  sim = std::make_unique<pwtest::ChildProcess>();
  EXPECT_TRUE(sim->Start(all, env));
  const std::string line = sim->ReadLine(30s);
  EXPECT_EQ(line.rfind("PTY ", 0), 0u) << line;
  return line.size() > 5 ? line.substr(4, line.size() - 5) : "";
}

int ProgramTest::FinishSim(std::string* lastLine) {
  auto exit = sim->Finish(120s);
  *lastLine = exit.lastLine;
  return exit.status;
}

std::vector<std::string> ProgramTest::StartUsbSim(std::vector<std::string> args) {
  std::vector<std::string> all = {PENWICK_SIM_PATH,    "usb", "--port", "0",
                                  "--appear-after-ms", "700"};
  all.insert(all.end(), args.begin(), args.end());
  sim = std::make_unique<pwtest::ChildProcess>();
  EXPECT_TRUE(sim->Start(all));
  const std::string line = sim->ReadLine(30s);  // "USBIP 127.0.0.1:<port> busid 1-1"
  std::istringstream words(line);
  std::string tag, address;
  words >> tag >> address;
  EXPECT_EQ(tag, "USBIP") << line;
  return {"PENWICK_USBIP=" + address, "PENWICK_USB_IDS="};
}

std::string ProgramTest::SimVerdict() {
  std::string last;
  FinishSim(&last);
  return last;
}

bool ProgramTest::DownloadFileLeft() const {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().filename().string().rfind("~tmpDown.hvd", 0) == 0) return true;
  }
  return false;
}

namespace {

// The console, unless `env` picks a display.
std::vector<std::string> Pinned(std::vector<std::string> env) {
  const bool picksDisplay = std::any_of(env.begin(), env.end(), [](const std::string& e) {
    return e.rfind("QT_QPA_PLATFORM=", 0) == 0 || e.rfind("DISPLAY=", 0) == 0;
  });
  if (!picksDisplay) env.push_back("PENWICK_UI=console");
  return env;
}

}  // namespace

void ProgramTest::StartProgram(const std::vector<std::string>& args, std::vector<std::string> env) {
  env = Pinned(std::move(env));
  std::vector<std::string> all = {PENWICK_UPLOAD_PATH};
  all.insert(all.end(), args.begin(), args.end());
  program = std::make_unique<pwtest::ChildProcess>();
  ASSERT_TRUE(program->Start(all, env));
}

ProgramResult ProgramTest::FinishProgram(std::chrono::seconds timeout) {
  ProgramResult result;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string line = program->ReadLine(1s);
    result.output += line;
    if (line.empty()) {
      if (auto status = program->WaitExit(0ms)) {
        result.status = *status;
        break;
      }
    }
  }
  if (result.status < 0) result.status = program->Stop(5s);
  return result;
}

ProgramResult ProgramTest::RunProgram(const std::vector<std::string>& args,
                                      std::vector<std::string> env) {
  StartProgram(args, std::move(env));
  return FinishProgram();
}

ProgramResult ProgramTest::RunOnTerminal(const std::vector<std::string>& args,
                                         const std::vector<std::string>& env) {
  std::vector<std::string> all = {PENWICK_UPLOAD_PATH};
  all.insert(all.end(), args.begin(), args.end());
  ProgramResult result;
  // Everything the child needs is prepared before the fork.
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) environment.push_back(*e);
  const std::vector<std::string> pinned = Pinned(env);
  environment.insert(environment.end(), pinned.begin(), pinned.end());
  std::vector<char*> argv, envp;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  if (pid < 0) return result;
  const auto deadline = std::chrono::steady_clock::now() + 120s;
  char buffer[4096];
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd fd{master, POLLIN, 0};
    if (poll(&fd, 1, 1000) <= 0) continue;
    const ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) break;  // EIO once the program has ended
    result.output.append(buffer, static_cast<size_t>(got));
  }
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  close(master);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

namespace {

struct Cursor {
  const std::string& text;
  size_t at = 0;
  void Space() {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  }
  bool Take(char c) {
    Space();
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
  }
  bool String(std::string* out) {
    if (!Take('"')) return false;
    out->clear();
    while (at < text.size() && text[at] != '"') {
      const auto c = static_cast<unsigned char>(text[at]);
      if (c < 0x20) return false;
      if (c == '\\') {
        if (++at >= text.size()) return false;
        const char e = text[at];
        if (e == 'u') {
          if (at + 4 >= text.size()) return false;
          for (int i = 1; i <= 4; ++i) {
            if (!std::isxdigit(static_cast<unsigned char>(text[at + i]))) return false;
          }
          *out += '?';
          at += 4;
        } else if (std::string("\"\\/bfnrt").find(e) != std::string::npos) {
          *out += e;
        } else {
          return false;
        }
      } else {
        *out += static_cast<char>(c);
      }
      ++at;
    }
    return Take('"');
  }
  bool Value(std::string* out) {
    Space();
    if (at < text.size() && text[at] == '"') return String(out);
    for (const char* word : {"true", "false"}) {
      if (text.compare(at, std::strlen(word), word) == 0) {
        *out = word;
        at += std::strlen(word);
        return true;
      }
    }
    const size_t start = at;
    if (at < text.size() && text[at] == '-') ++at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
    *out = text.substr(start, at - start);
    return at > start && *out != "-";
  }
};

}  // namespace

bool ParseFlatJson(const std::string& line, std::map<std::string, std::string>* fields) {
  Cursor c{line};
  fields->clear();
  if (!c.Take('{')) return false;
  if (c.Take('}')) return c.at == line.size();
  do {
    std::string key, value;
    if (!c.String(&key) || !c.Take(':') || !c.Value(&value)) return false;
    (*fields)[key] = value;
  } while (c.Take(','));
  return c.Take('}') && c.at == line.size();
}

}  // namespace apptest
