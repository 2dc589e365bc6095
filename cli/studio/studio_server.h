// The studio's HTTP server (cpp-httplib): the page and a small JSON interface to a StudioSession,
// on the loopback interface only.
//
// Who may use it: the user who started it. The address it prints carries a random access token;
// the first visit with ?token= sets a cookie (HttpOnly, SameSite=Strict, named for the port) and
// redirects to the bare address. The page and its files need that cookie; every /api/ request
// needs the token in the X-Threeway-Token header, which the page takes from the page itself and
// which no other site's page can send (a cross-origin request with such a header needs the
// server's consent, which it never gives). A request whose Host header is not 127.0.0.1:PORT or
// localhost:PORT is refused before anything else, so a name that resolves to the loopback address
// (DNS rebinding) does not reach it either. No request names a file: the session knows its input
// and outputs from the command line.
#pragma once

#include <memory>
#include <string>

#include "cli/studio/studio_session.h"

namespace threeway::cli {

// The largest request body: a preset (kMaxPresetBytes) and a little. Edits are held to kMaxEditBytes.
inline constexpr std::size_t kMaxBodyBytes = kMaxPresetBytes + 4096;
inline constexpr std::size_t kMaxEditBytes = 64 * 1024;

class StudioServer {
 public:
  // Binds 127.0.0.1:`port` (0: a free port the system chooses). Throws ToolError when it cannot.
  StudioServer(StudioSession& session, int port);
  ~StudioServer();
  StudioServer(const StudioServer&) = delete;
  StudioServer& operator=(const StudioServer&) = delete;

  int port() const { return port_; }
  // http://127.0.0.1:PORT/?token=TOKEN
  std::string address() const;

  // Serves requests until Stop is called (from another thread). False when serving failed.
  bool Run();
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

// A fresh access token: 128 bits from the system's random source, as 32 hexadecimal digits.
std::string NewAccessToken();

}  // namespace threeway::cli
