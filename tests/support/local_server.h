// A real HTTP server on 127.0.0.1 for the tests that make web requests: python3
// runs support/report_server.py, which records every request and answers the
// body the test sets. Nothing ever leaves the loopback address.
#pragma once
#include <windows.h>
#include <string>
#include <utility>
#include <vector>

struct ServerRequest {
    std::string agent;    // the User-Agent header
    std::string target;   // the request target as sent: path and query
    // The query's pairs as a standard server decodes them, in order.
    std::vector<std::pair<std::string, std::string>> query;
    // The decoded value of the first pair with this key; "<missing>" without one.
    std::string Value(const std::string &key) const;
};

struct LocalServer {
    std::string folder;   // where the server takes its reply and writes its record
    int port = 0;

    LocalServer() = default;
    LocalServer(const LocalServer &) = delete;
    LocalServer &operator=(const LocalServer &) = delete;
    ~LocalServer() { Stop(); }

    // Starts python3 on a fresh folder and waits until it listens.
    bool Start();
    void Stop();
    std::string Base() const;                  // "http://127.0.0.1:<port>"
    void SetReply(const std::string &body);    // "hang": take each request, never answer
    void ClearRequests();
    // Every request since the last clear, in the order they came.
    std::vector<ServerRequest> Requests() const;
};
