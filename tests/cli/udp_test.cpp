// The live input's parsing: udp:// addresses, and the TS payload of plain and RTP datagrams.
#include <gtest/gtest.h>

#include "udp_source.h"

namespace {

TEST(UdpInput, Addresses) {
    struct Case {
        const char* url;
        bool ok;
        const char* source;
        const char* group;
        uint16_t port;
    };
    const Case cases[] = {
        {"udp://239.1.2.3:1234", true, "", "239.1.2.3", 1234},
        {"udp://10.0.0.5@232.1.1.1:5000", true, "10.0.0.5", "232.1.1.1", 5000},
        {"udp://0.0.0.0:65535", true, "", "0.0.0.0", 65535},
        {"udp://239.1.2.3", false, "", "", 0},
        {"udp://239.1.2.3:0", false, "", "", 0},
        {"udp://239.1.2.3:65536", false, "", "", 0},
        {"udp://239.1.2.3:12a", false, "", "", 0},
        {"udp://239.1.2:1234", false, "", "", 0},
        {"udp://239.1.2.256:1234", false, "", "", 0},
        {"udp://host.example:1234", false, "", "", 0},
        {"udp://10.0.0@232.1.1.1:5000", false, "", "", 0},
        {"rtp://239.1.2.3:1234", false, "", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        quenlix::UdpAddress a;
        std::string why;
        ASSERT_EQ(c.ok, quenlix::ParseUdpUrl(c.url, &a, &why)) << why;
        if (c.ok) {
            EXPECT_EQ(c.source, a.source);
            EXPECT_EQ(c.group, a.group);
            EXPECT_EQ(c.port, a.port);
        } else {
            EXPECT_NE("", why);
        }
    }
}

TEST(UdpInput, PayloadOfPlainAndRtpDatagrams) {
    std::vector<uint8_t> ts(2 * 188, 0xFF);
    ts[0] = ts[188] = 0x47;
    auto with = [&ts](std::vector<uint8_t> header, size_t padding = 0) {
        header.insert(header.end(), ts.begin(), ts.end());
        for (size_t i = 0; i < padding; ++i) {
            header.push_back(i + 1 == padding ? static_cast<uint8_t>(padding) : 0);
        }
        return header;
    };
    const std::vector<uint8_t> rtp = {0x80, 33, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4};
    std::vector<uint8_t> csrc = rtp; // two contributing sources
    csrc[0] = 0x82;
    csrc.insert(csrc.end(), 8, 0xAA);
    std::vector<uint8_t> extension = rtp; // one word of header extension
    extension[0] = 0x90;
    extension.insert(extension.end(), {0xBE, 0xDE, 0x00, 0x01, 0x11, 0x22, 0x33, 0x44});
    std::vector<uint8_t> padded = rtp;
    padded[0] = 0xA0;
    struct Case {
        const char* what;
        std::vector<uint8_t> datagram;
        size_t offset, length;
    };
    const Case cases[] = {
        {"plain", ts, 0, ts.size()},
        {"rtp", with(rtp), 12, ts.size()},
        {"rtp with CSRCs", with(csrc), 20, ts.size()},
        {"rtp with an extension", with(extension), 20, ts.size()},
        {"rtp with padding", with(padded, 4), 12, ts.size()},
        // Looks like RTP but no sync byte follows: handed on whole for the reader to resynchronise.
        {"not ts after the header", with({0x80, 96, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4, 0x00}), 0,
         12 + 1 + ts.size()},
        {"shorter than a header", {0x80, 33, 0}, 0, 3},
        {"extension past the end", {0x90, 33, 0, 1, 0, 0, 0, 0, 1, 2, 3, 4, 0xBE, 0xDE, 0xFF, 0xFF}, 0, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        size_t offset = 99;
        EXPECT_EQ(c.length, quenlix::UdpPayload(c.datagram.data(), c.datagram.size(), &offset));
        EXPECT_EQ(c.offset, offset);
    }
}

} // namespace
