#pragma once
// A throwaway PostgreSQL server of the test's own: Debian's server binaries, a data
// folder in a temporary folder, a free port on 127.0.0.1, trust logins for the user
// "korvex". Run as root, the server runs as the postgres user (it refuses root).
// Missing binaries fail the test: the records' database is a real part here.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "temp_dir.h"

namespace korvex::testing {

class PgServer {
 public:
  // Starts the server; check ok() (with ASSERT) before using it.
  PgServer() {
    for (const auto& version : std::filesystem::directory_iterator("/usr/lib/postgresql", error_)) {
      if (std::filesystem::exists(version.path() / "bin/pg_ctl")) bin_ = version.path() / "bin";
    }
    if (bin_.empty()) {
      failure_ = "PostgreSQL server binaries not found under /usr/lib/postgresql (make deps)";
      return;
    }
    if (::geteuid() == 0) {
      const passwd* user = ::getpwnam("postgres");
      if (user == nullptr || !std::filesystem::exists("/usr/sbin/runuser")) {
        failure_ = "running as root needs the postgres user and runuser";
        return;
      }
      for (const auto& dir : {Data(), Socket()}) {
        std::filesystem::create_directories(dir);
        if (::chown(dir.c_str(), user->pw_uid, user->pw_gid) != 0) failure_ = "cannot chown " + dir.string();
      }
      if (!failure_.empty()) return;
      asUser_ = "/usr/sbin/runuser -u postgres -- ";
    } else {
      std::filesystem::create_directories(Socket());
    }
    port_ = FreePort();
    if (!Run(Bin("initdb") + " -D " + Data().string() + " -U korvex -A trust -E UTF8 --no-sync")) {
      failure_ = "initdb failed: " + output_;
      return;
    }
    if (!Start()) failure_ = "the server did not start: " + output_;
  }
  ~PgServer() { Stop(); }

  bool ok() const { return failure_.empty(); }
  const std::string& failure() const { return failure_; }

  bool Start() {
    const std::string options = "-p " + std::to_string(port_) + " -k " + Socket().string() +
                                " -c listen_addresses=127.0.0.1 -c fsync=off";
    return Run(Bin("pg_ctl") + " -D " + Data().string() + " -l " + Data().string() + "/log -w -o '" +
               options + "' start");
  }
  bool Stop() { return Run(Bin("pg_ctl") + " -D " + Data().string() + " -m fast -w stop"); }

  std::string Connection() const {
    return "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(port_) +
           ";Database=postgres;Uid=korvex;Pwd=unused;";
  }

  // psql's unaligned output of one query, rows on lines: the check that does not go
  // through the station's own ODBC code.
  std::string Query(const std::string& sql) {
    Run("'" + (bin_ / "psql").string() + "' -X -At -h 127.0.0.1 -p " + std::to_string(port_) +
        " -U korvex -d postgres -c \"" + sql + "\"", false);
    return output_;
  }

 private:
  std::filesystem::path Data() const { return dir_.path() / "data"; }
  std::filesystem::path Socket() const { return dir_.path() / "socket"; }
  std::string Bin(const char* name) const { return asUser_ + "'" + (bin_ / name).string() + "'"; }

  bool Run(const std::string& command, bool withErrors = true) {
    output_.clear();
    FILE* pipe = ::popen((command + (withErrors ? " 2>&1" : "")).c_str(), "r");
    if (pipe == nullptr) return false;
    std::array<char, 4096> chunk;
    std::size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) output_.append(chunk.data(), n);
    return ::pclose(pipe) == 0;
  }

  static int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
  }

  TempDir dir_;
  std::error_code error_;
  std::filesystem::path bin_;
  std::string asUser_;
  int port_ = 0;
  std::string output_;
  std::string failure_;
};

}  // namespace korvex::testing
