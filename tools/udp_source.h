// Live input: a transport stream received over UDP, plain (188-byte packets, usually seven to a
// datagram) or wrapped in RTP (the payload after the RTP header). The kind is told per datagram.
//
//   udp://group:port          multicast group, or a local unicast address (0.0.0.0 for any)
//   udp://source@group:port   source-specific multicast; for unicast, datagrams from source only
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "host/TsReader.h"

namespace quenlix {

struct UdpAddress {
    std::string source; // empty: any sender
    std::string group;
    uint16_t port = 0;
};

bool IsUdpUrl(const std::string& input);
// False with *why for anything but udp://[source@]address:port with IPv4 dotted addresses.
bool ParseUdpUrl(const std::string& url, UdpAddress* address, std::string* why);

// Listening once this answers: a sender may start at once. Read blocks until a datagram arrives and
// answers 0 (end of input) once *stop is set. Null with *why when the socket cannot be set up, or
// on a build without UDP support.
std::unique_ptr<qxhost::ByteSource> OpenUdp(const UdpAddress& address, const std::atomic<bool>* stop,
                                            std::string* why);

// The payload of one datagram: past the RTP header when it carries one, else all of it.
// Sets *offset and answers the payload length.
size_t UdpPayload(const uint8_t* datagram, size_t length, size_t* offset);

} // namespace quenlix
