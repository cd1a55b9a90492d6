#include "udp_source.h"

#include <algorithm>
#include <cstring>
#include <vector>

#ifndef _WIN32
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace quenlix {

bool IsUdpUrl(const std::string& input) {
    return input.rfind("udp://", 0) == 0;
}

namespace {

bool ValidIpv4(const std::string& text) {
    unsigned parts = 0;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('.', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string part = text.substr(at, end - at);
        if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(part) > 255) {
            return false;
        }
        ++parts;
        at = end + 1;
    }
    return parts == 4;
}

} // namespace

bool ParseUdpUrl(const std::string& url, UdpAddress* a, std::string* why) {
    if (!IsUdpUrl(url)) {
        *why = "not a udp:// address";
        return false;
    }
    std::string rest = url.substr(6);
    size_t atSign = rest.find('@');
    if (atSign != std::string::npos) {
        a->source = rest.substr(0, atSign);
        rest = rest.substr(atSign + 1);
        if (!ValidIpv4(a->source)) {
            *why = "source '" + a->source + "' is not an IPv4 address";
            return false;
        }
    }
    size_t colon = rest.rfind(':');
    if (colon == std::string::npos) {
        *why = "missing :port";
        return false;
    }
    a->group = rest.substr(0, colon);
    std::string port = rest.substr(colon + 1);
    if (!ValidIpv4(a->group)) {
        *why = "address '" + a->group + "' is not an IPv4 address";
        return false;
    }
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(port) == 0 || std::stoi(port) > 65535) {
        *why = "port '" + port + "' is not a number from 1 to 65535";
        return false;
    }
    a->port = static_cast<uint16_t>(std::stoi(port));
    return true;
}

size_t UdpPayload(const uint8_t* d, size_t n, size_t* offset) {
    *offset = 0;
    // Plain TS starts with a sync byte; RTP with version 2 in the top bits of its first byte.
    if (n == 0 || d[0] == 0x47 || (d[0] & 0xC0) != 0x80 || n < 12) {
        return n;
    }
    size_t header = 12 + 4 * static_cast<size_t>(d[0] & 0x0F);
    if ((d[0] & 0x10) != 0 && header + 4 <= n) { // extension: 4 bytes, then its length in words
        header += 4 + 4 * static_cast<size_t>((d[header + 2] << 8) | d[header + 3]);
    }
    size_t end = n;
    if ((d[0] & 0x20) != 0 && d[n - 1] <= n) { // padding, counted by the last byte
        end = n - d[n - 1];
    }
    if (header >= end || d[header] != 0x47) {
        return n; // not RTP carrying TS after all: let the reader find sync in it
    }
    *offset = header;
    return end - header;
}

#ifdef _WIN32

std::unique_ptr<qxhost::ByteSource> OpenUdp(const UdpAddress&, const std::atomic<bool>*, std::string* why) {
    *why = "UDP input is not supported on this build";
    return nullptr;
}

#else

namespace {

class UdpSource : public qxhost::ByteSource {
public:
    UdpSource(int fd, in_addr source, const std::atomic<bool>* stop)
        : m_fd(fd), m_source(source), m_stop(stop), m_datagram(65536) {}
    ~UdpSource() override { close(m_fd); }

    long Read(uint8_t* buffer, size_t size) override {
        while (m_pendingAt == m_pendingEnd) {
            if (m_stop->load()) {
                return 0;
            }
            pollfd p = {m_fd, POLLIN, 0};
            int ready = poll(&p, 1, 100); // wakes up to see the stop flag
            if (ready < 0 && errno != EINTR) {
                return -1;
            }
            if (ready <= 0) {
                continue;
            }
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            ssize_t n = recvfrom(m_fd, m_datagram.data(), m_datagram.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN) {
                    continue;
                }
                return -1;
            }
            if (m_source.s_addr != INADDR_ANY && from.sin_addr.s_addr != m_source.s_addr) {
                continue;
            }
            size_t offset = 0;
            size_t length = UdpPayload(m_datagram.data(), static_cast<size_t>(n), &offset);
            m_pendingAt = offset;
            m_pendingEnd = offset + length;
        }
        size_t k = std::min(size, m_pendingEnd - m_pendingAt);
        memcpy(buffer, m_datagram.data() + m_pendingAt, k);
        m_pendingAt += k;
        return static_cast<long>(k);
    }

private:
    int m_fd;
    in_addr m_source;
    const std::atomic<bool>* m_stop;
    std::vector<uint8_t> m_datagram;
    size_t m_pendingAt = 0;
    size_t m_pendingEnd = 0;
};

} // namespace

std::unique_ptr<qxhost::ByteSource> OpenUdp(const UdpAddress& a, const std::atomic<bool>* stop,
                                            std::string* why) {
    in_addr group{}, source{};
    inet_pton(AF_INET, a.group.c_str(), &group);
    if (!a.source.empty()) {
        inet_pton(AF_INET, a.source.c_str(), &source);
    }
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        *why = std::string("cannot open a UDP socket: ") + strerror(errno);
        return nullptr;
    }
    bool multicast = IN_MULTICAST(ntohl(group.s_addr));
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    int buffer = 4 << 20; // a live stream does not wait while the graph is busy
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(a.port);
    local.sin_addr = group; // for a group, only its datagrams reach the socket
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        *why = "cannot listen on " + a.group + ":" + std::to_string(a.port) + ": " + strerror(errno);
        close(fd);
        return nullptr;
    }
    if (multicast) {
        int rc;
        if (!a.source.empty()) {
            ip_mreq_source m{};
            m.imr_multiaddr = group;
            m.imr_interface.s_addr = htonl(INADDR_ANY);
            m.imr_sourceaddr = source;
            rc = setsockopt(fd, IPPROTO_IP, IP_ADD_SOURCE_MEMBERSHIP, &m, sizeof m);
        } else {
            ip_mreq m{};
            m.imr_multiaddr = group;
            m.imr_interface.s_addr = htonl(INADDR_ANY);
            rc = setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m);
        }
        if (rc != 0) {
            *why = "cannot join " + (a.source.empty() ? std::string() : a.source + "@") + a.group + ": " +
                   strerror(errno);
            close(fd);
            return nullptr;
        }
    }
    return std::make_unique<UdpSource>(fd, source, stop);
}

#endif

} // namespace quenlix
