#include "syslog_record.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <string>

#include "test_datagrams.h"

using namespace udp;

namespace {

std::string config_with_port(std::string_view port)
{
    std::string c(500, '\0');
    c.replace(400, port.size(), port);
    return c;
}

tagCommunicationData_ decode(std::string_view d, uint32_t source = 0x0100007F)
{
    tagCommunicationData_ r;
    EXPECT_TRUE(decode_datagram(d, source, r));
    return r;
}

}  // namespace

TEST(UdpConfig, PortFieldOrDefault)
{
    EXPECT_EQ(udp_port_from_config(""), 20000);
    EXPECT_EQ(udp_port_from_config(std::string(400, 'x')), 20000);
    EXPECT_EQ(udp_port_from_config(config_with_port("")), 20000);
    EXPECT_EQ(udp_port_from_config(config_with_port("abc")), 20000);
    EXPECT_EQ(udp_port_from_config(config_with_port("514x")), 20000);
    EXPECT_EQ(udp_port_from_config(config_with_port("0")), 20000);
    EXPECT_EQ(udp_port_from_config(config_with_port("70000")), 20000);
    EXPECT_EQ(udp_port_from_config(config_with_port(std::string(100, '1'))), 20000);
    EXPECT_EQ(udp_port_from_config(config_with_port("514")), 514);
    EXPECT_EQ(udp_port_from_config(config_with_port(" 8080 ")), 8080);
    EXPECT_EQ(udp_port_from_config(config_with_port("65535").substr(0, 405)), 65535);
}

TEST(UdpText, Utf8KeptOtherBytesDecodedAsGb18030)
{
    EXPECT_EQ(to_utf8("plain \xE4\xB8\xAD"), "plain \xE4\xB8\xAD");
    EXPECT_EQ(to_utf8("\xD6\xD0\xCE\xC4"), "中文");
    EXPECT_EQ(to_utf8("x\x95\x32\x82\x36"), "x\xF0\xA0\x80\x80");  // 4-byte GB18030
    EXPECT_EQ(to_utf8("a\x80z\xFF"), "a\xEF\xBF\xBDz\xEF\xBF\xBD");
    // A character cut off at the end is dropped, in either encoding.
    EXPECT_EQ(to_utf8("ab\xF0\x9F\x98"), "ab");
    EXPECT_EQ(to_utf8("\xD6\xD0\xCE"), "中");
}

TEST(UdpText, CutOnCharacterBoundaryAndTerminated)
{
    char buf[8];
    std::memset(buf, 'Z', sizeof buf);
    put_text(buf, sizeof buf, "abcd\xF0\x9F\x98\x80");  // 4 + 4 bytes: the emoji does not fit
    EXPECT_STREQ(buf, "abcd");
    put_text(buf, sizeof buf, "abc\xF0\x9F\x98\x80z");
    EXPECT_STREQ(buf, "abc\xF0\x9F\x98\x80");
    put_text(buf, sizeof buf, "\xD6\xD0\xCE\xC4\xD6\xD0");  // GB: 3 characters, 9 bytes in UTF-8
    EXPECT_STREQ(buf, "中文");
}

TEST(UdpKeywords, SortIntoTypes)
{
    EXPECT_EQ(classify_text("SYN Flood detected from 1.2.3.4"), 4u);
    EXPECT_EQ(classify_text("检测到攻击"), 4u);
    EXPECT_EQ(classify_text("user admin changed Configuration"), 3u);
    EXPECT_EQ(classify_text("GET http://example.test/"), 1u);
    EXPECT_EQ(classify_text("port scan on config page url=x"), 4u);  // attack goes first
    EXPECT_EQ(classify_text("link up eth0"), 5u);
}

TEST(UdpSyslog, Rfc3164Variants)
{
    auto p = parse_syslog("<13>Dec  7 02:50:32 vm root[42]: hello world\n");
    EXPECT_EQ(p.host, "vm");
    EXPECT_EQ(p.app, "root");
    EXPECT_EQ(p.message, "hello world");
    p = parse_syslog("<134>Jan 15 2024 10:00:00 gw-1 kernel: DROP IN=eth0");
    EXPECT_EQ(p.host, "gw-1");
    EXPECT_EQ(p.app, "kernel");
    p = parse_syslog("<30>Jan 15 10:00:00 dhcpd[7]: lease given");  // no host
    EXPECT_EQ(p.host, "");
    EXPECT_EQ(p.app, "dhcpd");
    EXPECT_EQ(p.message, "lease given");
    p = parse_syslog("<134>DROP IN=eth0 SRC=10.0.0.1");  // no timestamp, host or tag
    EXPECT_EQ(p.host, "");
    EXPECT_EQ(p.app, "");
    EXPECT_EQ(p.message, "DROP IN=eth0 SRC=10.0.0.1");
    p = parse_syslog("<134>router1 pppd: up");
    EXPECT_EQ(p.host, "router1");
    EXPECT_EQ(p.app, "pppd");
    EXPECT_EQ(p.message, "up");
    EXPECT_EQ(parse_syslog("no pri at all").message, "no pri at all");
    EXPECT_EQ(parse_syslog("<999>x").message, "<999>x");
}

TEST(UdpSyslog, Rfc5424Variants)
{
    auto p = parse_syslog("<132>1 2026-01-05T02:50:32.8+00:00 vm myapp - ID47 "
                          "[timeQuality tzKnown=\"1\"][ex@1 a=\"b\\\"]\"] hello");
    EXPECT_EQ(p.host, "vm");
    EXPECT_EQ(p.app, "myapp");
    EXPECT_EQ(p.message, "hello");
    p = parse_syslog("<13>1 - - - - - - \xEF\xBB\xBFtext");
    EXPECT_EQ(p.host, "");
    EXPECT_EQ(p.app, "");
    EXPECT_EQ(p.message, "text");
    EXPECT_EQ(parse_syslog("<13>1 - h a - - [x@1 k=\"v\"]").message, "[x@1 k=\"v\"]");
    EXPECT_EQ(parse_syslog("<13>1 - h a - - [broken").message, "[broken");
}

TEST(UdpDecode, NativeRecord)
{
    auto r = decode(native_datagram(4, 0x0A000001, "bob", "port scan", "fw", 0, 9), 0x0200007F);
    EXPECT_EQ(imp(r).dwLogType, 4u);
    EXPECT_EQ(imp(r).dwSourceIP, 0x0A000001u);
    EXPECT_STREQ(imp(r).cLogUser, "bob");
    EXPECT_STREQ(imp(r).cLogContent, "port scan");
    EXPECT_STREQ(imp(r).cLogNote, "fw");
    EXPECT_EQ(r.dwIP, 0x0200007Fu);  // taken from the sender
    EXPECT_EQ(r.wnd, 9u);
    r = decode(native_datagram(1, 0, "u", "c", "n", 0x0501A8C0, 9, 620), 0x0200007F);
    EXPECT_EQ(r.dwIP, 0x0501A8C0u);  // the record's own
    EXPECT_EQ(r.wnd, 0u);
    // Fields without terminator, one of them GB18030 that grows in UTF-8.
    r = decode(native_datagram(5, 0, std::string(32, 'u'), std::string(512, 'c'),
                               repeat("\xD6\xD0", 32)));
    EXPECT_EQ(std::string(imp(r).cLogUser), std::string(31, 'u'));
    EXPECT_EQ(std::string(imp(r).cLogContent), std::string(511, 'c'));
    EXPECT_EQ(std::string(imp(r).cLogNote), repeat("中", 21));  // 63 bytes
}

TEST(UdpDecode, SyslogMessage)
{
    auto r = decode("<13>Dec  7 02:50:32 gw sshd[5]: Config saved", 0x0300007F);
    EXPECT_EQ(imp(r).dwLogType, 3u);
    EXPECT_EQ(imp(r).dwSourceIP, 0u);
    EXPECT_STREQ(imp(r).cLogUser, "sshd");
    EXPECT_STREQ(imp(r).cLogNote, "gw");
    EXPECT_STREQ(imp(r).cLogContent, "Config saved");
    EXPECT_EQ(r.dwIP, 0x0300007Fu);
    r = decode(std::string("<13>a\0b", 7));
    EXPECT_STREQ(imp(r).cLogContent, "a b");
    // 65,507 bytes: the text is cut to at most 511 bytes between characters.
    std::string big = "<13>x";
    while (big.size() < 65507)
        big += "中";
    big.resize(65507);
    r = decode(big);
    EXPECT_EQ(std::string(imp(r).cLogContent), "x" + repeat("中", 170));
}

TEST(UdpDecode, EmptyIsMalformed)
{
    tagCommunicationData_ r;
    EXPECT_FALSE(decode_datagram("", 1, r));
    EXPECT_FALSE(decode_datagram("<13>\r\n", 1, r));
}

TEST(UdpDecode, RandomBytesGiveTerminatedUtf8Fields)
{
    GRand* rng = g_rand_new_with_seed(7);
    for (int i = 0; i < 3000; ++i) {
        std::size_t len = i % 3 == 0 ? (i % 2 ? 624 : 620) : g_rand_int_range(rng, 1, 1500);
        std::string d(len, '\0');
        for (char& c : d)
            c = static_cast<char>(g_rand_int_range(rng, 0, 256));
        if (i % 5 == 0)
            d.replace(0, std::min<std::size_t>(len, 4), "<13>");
        tagCommunicationData_ r;
        if (!decode_datagram(d, 1, r))
            continue;
        for (auto [field, size] : {std::pair{imp(r).cLogUser, 32}, {imp(r).cLogContent, 512}, {imp(r).cLogNote, 64}}) {
            const char* nul = static_cast<const char*>(std::memchr(field, '\0', size));
            ASSERT_NE(nul, nullptr);
            ASSERT_TRUE(g_utf8_validate(field, nul - field, nullptr)) << i;
        }
    }
    g_rand_free(rng);
}
