// The disk server a command talks to, as given on the command line: HOST, HOST:PORT, or
// [IPv6]:PORT. The port defaults to the disk server's well-known port.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavik::cli {

class CServerAddress {
public:
    static constexpr int kDefaultPort = 9553;

    // nullopt, with a reason in *why, when the text is empty, the port is not a number in
    // 1..65535, or a bracketed host is not closed.
    static std::optional<CServerAddress> parse(std::string_view text, std::string* why);

    const std::string& host() const { return m_host; }
    int port() const { return m_port; }

private:
    CServerAddress(std::string host, int port) : m_host(std::move(host)), m_port(port) {}
    static std::optional<int> parsePort(std::string_view text);

    std::string m_host;
    int m_port;
};

} // namespace tavik::cli
