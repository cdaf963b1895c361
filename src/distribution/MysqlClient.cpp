#include "distribution/MysqlClient.h"

#include <dlfcn.h>

#include <cstdlib>

namespace tarnwell {

std::vector<std::string> TMysqlClient::DefaultCandidates() {
  if (const char* only = std::getenv("TARNWELL_MYSQL_LIBRARY"); only != nullptr && *only != '\0') return {only};
  return {"libmariadb.so.3", "libmysqlclient.so.21"};
}

TMysqlClient& TMysqlClient::Instance() {
  // Never destroyed: the writer thread may still use the functions while the process exits.
  static TMysqlClient* client = new TMysqlClient(DefaultCandidates());
  return *client;
}

TMysqlClient::TMysqlClient(const std::vector<std::string>& candidates) {
  std::string failures;
  for (const std::string& name : candidates) {
    // Never unloaded: the library sets itself up once per process (its own one-time initialisation), and
    // what it allocated then would be left behind, unreachable, by an unload.
    handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle_ != nullptr) {
      libraryName_ = name;
      break;
    }
    const char* why = dlerror();
    failures += (failures.empty() ? "" : "; ") + std::string(why != nullptr ? why : name.c_str());
  }
  if (handle_ == nullptr) {
    state_ = lsLoadFailed;
    problem_ = "cannot load the MySQL client library (" + failures + ")";
    return;
  }
  std::string missing;
  auto resolve = [&](auto& function, const char* name) {
    function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle_, name));
    if (function == nullptr) missing += (missing.empty() ? "" : ", ") + std::string(name);
  };
  resolve(mysql_init, "mysql_init");
  resolve(mysql_real_connect, "mysql_real_connect");
  resolve(mysql_real_query, "mysql_real_query");
  resolve(mysql_close, "mysql_close");
  resolve(mysql_errno, "mysql_errno");
  resolve(mysql_error, "mysql_error");
  resolve(mysql_escape_string, "mysql_escape_string");
  if (!missing.empty()) {
    state_ = lsIncomplete;
    problem_ = libraryName_ + " lacks " + missing;
    return;
  }
  // The library sets itself up (character sets the escape function needs, its thread state) in the first
  // mysql_init; doing that here keeps it off the writer thread and lets Escape work before any connection.
  if (MYSQL* probe = mysql_init(nullptr)) mysql_close(probe);
  state_ = lsComplete;
}

TMysqlClient::~TMysqlClient() {
  if (handle_ != nullptr) dlclose(handle_);
}

std::string TMysqlClient::Escape(const std::string& text) const {
  if (!Complete()) {
    // The library's own rules, so that rows formatted while it is missing read the same.
    std::string escaped;
    escaped.reserve(text.size() + 8);
    for (char c : text) {
      switch (c) {
        case '\0': escaped += "\\0"; break;
        case '\n': escaped += "\\n"; break;
        case '\r': escaped += "\\r"; break;
        case '\x1a': escaped += "\\Z"; break;
        case '\\': case '\'': case '"': escaped += '\\'; escaped += c; break;
        default: escaped += c;
      }
    }
    return escaped;
  }
  std::string escaped(text.size() * 2 + 1, '\0');
  const unsigned long length = mysql_escape_string(escaped.data(), text.data(), text.size());
  escaped.resize(length);
  return escaped;
}

}  // namespace tarnwell
