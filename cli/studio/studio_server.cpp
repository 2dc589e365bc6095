#include "cli/studio/studio_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <random>

#include "cli/engine/lut_bake.h"
#include "cli/studio/page.h"

namespace threeway::cli {
namespace {

// Worker threads answering requests. A browser keeps up to six connections to a server open, and
// each open connection holds a worker while it waits for its next request, so there are enough for
// two pages and a script; idle connections are closed after a short wait.
constexpr std::size_t kWorkerThreads = 16;
constexpr time_t kKeepAliveSeconds = 2;
constexpr const char* kTokenHeader = "X-Threeway-Token";
// The page's placeholder the server fills with the token (index.html's meta element).
constexpr std::string_view kTokenPlaceholder = "{{THREEWAY_TOKEN}}";

bool EqualInConstantTime(std::string_view a, std::string_view b) {
  unsigned difference = a.size() != b.size() ? 1u : 0u;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The value of cookie `name` in a Cookie header ("a=1; b=2"), or empty.
std::string CookieValue(const std::string& header, const std::string& name) {
  std::size_t start = 0;
  while (start < header.size()) {
    std::size_t end = header.find(';', start);
    if (end == std::string::npos) end = header.size();
    std::string_view pair(header.data() + start, end - start);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    const std::size_t equals = pair.find('=');
    if (equals != std::string_view::npos && pair.substr(0, equals) == name) return std::string(pair.substr(equals + 1));
    start = end + 1;
  }
  return {};
}

// JSON answers are sent as they are: the pictures in them are JPEG and PNG already, which a
// compressor only slows down (Brotli took 0.7 s over a 220 KB answer that it could not shrink).
// The library compresses "application/json" for clients that accept it, not this spelling.
void SendJson(httplib::Response& response, int status, const std::string& json) {
  response.status = status;
  response.set_content(json, "application/json; charset=utf-8");
}

void SendError(httplib::Response& response, int status, const std::string& message) {
  SendJson(response, status, "{\"error\": " + JsonString(message) + "}");
}

}  // namespace

std::string NewAccessToken() {
  std::random_device random("/dev/urandom");
  std::string token;
  char digits[9];
  for (int i = 0; i < 4; ++i) {
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(random()));
    token += digits;
  }
  return token;
}

struct StudioServer::Impl {
  StudioSession& session;
  httplib::Server server;
  std::string token = NewAccessToken();
  std::string cookie;  // the cookie's name, for this port

  explicit Impl(StudioSession& s) : session(s) {}

  // Refuses what is not for this server: another Host, no token. Returns true when refused.
  bool Refuse(const httplib::Request& request, httplib::Response& response, int port) {
    const std::string port_text = std::to_string(port);
    if (request.get_header_value_count("Host") != 1) {
      SendError(response, 400, "a request names one Host");
      return true;
    }
    const std::string host = Lower(request.get_header_value("Host"));
    if (host != "127.0.0.1:" + port_text && host != "localhost:" + port_text) {
      SendError(response, 403, "the Host " + Quoted(host) + " is not this studio's (127.0.0.1:" + port_text +
                                   " or localhost:" + port_text + ")");
      return true;
    }
    const bool api = request.path.rfind("/api/", 0) == 0;
    if (api) {
      if (!EqualInConstantTime(request.get_header_value(kTokenHeader), token)) {
        SendError(response, 403, "this request has no valid access token (header " + std::string(kTokenHeader) + ")");
        return true;
      }
      return false;
    }
    // The first visit: the address the studio printed, with the token; the cookie takes its place.
    if (request.method == "GET" && request.path == "/" && request.has_param("token")) {
      if (!EqualInConstantTime(request.get_param_value("token"), token)) {
        SendError(response, 403, "this access token is not the studio's (see the address it printed)");
        return true;
      }
      response.set_header("Set-Cookie", cookie + "=" + token + "; Path=/; HttpOnly; SameSite=Strict");
      response.set_redirect("/", 303);
      return true;
    }
    if (!EqualInConstantTime(CookieValue(request.get_header_value("Cookie"), cookie), token)) {
      SendError(response, 403, "open the address the studio printed (it carries the access token)");
      return true;
    }
    return false;
  }

  // Runs a handler, turning what it throws into the response's status and message.
  template <typename Handler>
  void Answer(httplib::Response& response, Handler handler) {
    try {
      SendJson(response, 200, handler());
    } catch (const RequestError& error) {
      SendError(response, error.status(), error.what());
    } catch (const ToolError& error) {
      SendError(response, error.exitCode() == kExitUsage ? 400 : 500, error.what());
    } catch (const std::bad_alloc&) {
      SendError(response, 500, "out of memory");
    } catch (const std::exception& error) {
      SendError(response, 500, error.what());
    }
  }

  // The JSON body of a POST, size-checked.
  static JsonValue Body(const httplib::Request& request, std::size_t limit) {
    if (request.body.size() > limit) {
      throw RequestError("the request body is larger than " + std::to_string(limit) + " bytes", 413);
    }
    JsonValue value;
    std::string error;
    if (!ParseJson(request.body, value, error)) throw RequestError("request body: " + error);
    return value;
  }

  static int IntParam(const httplib::Request& request, const char* name, int fallback, int min, int max) {
    if (!request.has_param(name)) return fallback;
    const std::string text = request.get_param_value(name);
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(text) < min || std::stoi(text) > max) {
      throw RequestError(std::string(name) + " is a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", got " + Quoted(text));
    }
    return std::stoi(text);
  }

  void Routes() {
    using httplib::Request;
    using httplib::Response;
    server.Get("/", [this](const Request&, Response& response) {
      const PageFile* page = FindPageFile("index.html");
      std::string html(page->contents);
      const std::size_t at = html.find(kTokenPlaceholder);
      if (at != std::string::npos) html.replace(at, kTokenPlaceholder.size(), token);
      response.set_content(html, std::string(page->type));
    });
    server.Get(R"(/([a-z]+\.(js|css|png)))", [](const Request& request, Response& response) {
      const PageFile* file = FindPageFile(request.matches[1].str());
      if (file == nullptr) return SendError(response, 404, "no such file");
      response.set_content(std::string(file->contents), std::string(file->type));
    });
    server.Get("/api/panel", [this](const Request&, Response& r) { Answer(r, [&] { return session.PanelJson(); }); });
    server.Get("/api/state", [this](const Request&, Response& r) { Answer(r, [&] { return session.StateJson(); }); });
    server.Get("/api/preset", [this](const Request&, Response& r) { Answer(r, [&] { return session.PresetText(); }); });
    server.Get("/api/render", [this](const Request&, Response& r) { Answer(r, [&] { return session.RenderStatus(); }); });
    server.Get("/api/view", [this](const Request& request, Response& r) {
      Answer(r, [&] {
        ViewRequest view;
        view.width = IntParam(request, "w", 960, 16, 16384);
        view.height = IntParam(request, "h", 540, 16, 16384);
        view.full = IntParam(request, "full", 0, 0, 1) == 1;
        view.before = IntParam(request, "before", 0, 0, 1) == 1;
        view.scopeWidth = IntParam(request, "scopes", 0, 0, 2048);
        return session.View(view);
      });
    });
    server.Post("/api/edit", [this](const Request& request, Response& r) {
      Answer(r, [&] { return session.Edit(Body(request, kMaxEditBytes)); });
    });
    server.Post("/api/undo", [this](const Request&, Response& r) { Answer(r, [&] { return session.Undo(); }); });
    server.Post("/api/redo", [this](const Request&, Response& r) { Answer(r, [&] { return session.Redo(); }); });
    server.Post("/api/preset", [this](const Request& request, Response& r) {
      Answer(r, [&] {
        Body(request, kMaxBodyBytes);  // well-formed JSON of a bounded size; read as a preset below
        return session.LoadPreset(request.body);
      });
    });
    server.Post("/api/frame", [this](const Request& request, Response& r) {
      Answer(r, [&] {
        const JsonValue body = Body(request, kMaxEditBytes);
        if (body.kind != JsonValue::Kind::kObject || body.members.size() != 1 || body.members[0].name != "frame" ||
            body.members[0].value.kind != JsonValue::Kind::kNumber ||
            body.members[0].value.number != std::floor(body.members[0].value.number) ||
            !(body.members[0].value.number >= 0 && body.members[0].value.number < 1e12)) {
          throw RequestError("a frame is chosen as {\"frame\": N}, N a whole number from 0");
        }
        return session.SelectFrame(static_cast<std::int64_t>(body.members[0].value.number));
      });
    });
    server.Post("/api/save-preset", [this](const Request&, Response& r) { Answer(r, [&] { return session.SavePreset(); }); });
    server.Post("/api/lut", [this](const Request& request, Response& r) {
      Answer(r, [&] {
        const JsonValue body = Body(request, kMaxEditBytes);
        int size = kDefaultLutSize;
        for (const auto& [key, value] : body.members) {
          if (key != "size" || value.kind != JsonValue::Kind::kNumber || value.number != std::floor(value.number) ||
              std::fabs(value.number) > 1e6) {
            throw RequestError("a LUT export is {\"size\": N} (N points a side)");
          }
          size = static_cast<int>(value.number);
        }
        if (body.kind != JsonValue::Kind::kObject) throw RequestError("a LUT export is {\"size\": N} (N points a side)");
        return session.ExportLut(size);
      });
    });
    server.Post("/api/render", [this](const Request&, Response& r) { Answer(r, [&] { return session.StartRender(); }); });
    server.Post("/api/render/cancel", [this](const Request&, Response& r) {
      Answer(r, [&] { return session.CancelRender(); });
    });
  }
};

StudioServer::StudioServer(StudioSession& session, int port) : impl_(std::make_unique<Impl>(session)) {
  httplib::Server& server = impl_->server;
  server.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
  server.set_keep_alive_timeout(kKeepAliveSeconds);
  // Answers are written as soon as they are complete, not held back to be merged with more data.
  server.set_tcp_nodelay(true);
  server.set_payload_max_length(kMaxBodyBytes);
  // The library's default also sets SO_REUSEPORT, which would let a second studio bind the same
  // port and take half of its connections; only SO_REUSEADDR (a restart while old connections
  // linger) is wanted.
  server.set_socket_options([](socket_t socket) {
    int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server.set_default_headers({
      {"Cache-Control", "no-store"},
      {"X-Content-Type-Options", "nosniff"},
      {"X-Frame-Options", "DENY"},
      {"Referrer-Policy", "no-referrer"},
      {"Content-Security-Policy",
       "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data: blob:; connect-src 'self'; "
       "frame-ancestors 'none'; form-action 'none'; base-uri 'none'"},
  });
  server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
    if (impl_->Refuse(request, response, port_)) return httplib::Server::HandlerResponse::Handled;
    // The body is not read yet: a POST with one (an empty one needs no type) must say it is JSON.
    const bool body = request.has_header("Transfer-Encoding") ||
                      (request.has_header("Content-Length") && request.get_header_value("Content-Length") != "0");
    if (request.method == "POST" && body && request.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
      SendError(response, 415, "a request body is JSON (Content-Type: application/json)");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (response.body.empty()) {
      const int status = response.status;
      SendError(response, status, status == 404   ? "no such page"
                                  : status == 413 ? "the request body is too large"
                                  : status == 400 ? "a malformed request (a POST needs a Content-Length)"
                                                  : "HTTP status " + std::to_string(status));
    }
  });
  server.set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
    SendError(response, 500, "internal error");
  });
  impl_->Routes();
  port_ = port == 0 ? server.bind_to_any_port("127.0.0.1") : (server.bind_to_port("127.0.0.1", port) ? port : -1);
  if (port_ <= 0) {
    throw ToolError("cannot listen on 127.0.0.1" + (port == 0 ? std::string() : ":" + std::to_string(port)) +
                    ": the port is taken or not allowed");
  }
  impl_->cookie = "threeway_studio_" + std::to_string(port_);
}

StudioServer::~StudioServer() = default;

std::string StudioServer::address() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/?token=" + impl_->token;
}

bool StudioServer::Run() { return impl_->server.listen_after_bind(); }

void StudioServer::Stop() { impl_->server.stop(); }

}  // namespace threeway::cli
