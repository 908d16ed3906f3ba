#include "syslog_record.h"

#include "base/config.h"

#include <gtest/gtest.h>

#include <tuple>

#include "test_datagrams.h"

using namespace udp;

namespace {

uint16_t port_of(std::string_view field)
{
    std::string c(500, '\0');
    c.replace(400, field.size(), field);
    return config_udp_port(c);
}

tagCommunicationData_ decode(std::string_view d, uint32_t source = 0x0100007F)
{
    tagCommunicationData_ r;
    EXPECT_TRUE(decode_datagram(d, source, r));
    return r;
}

using P = std::tuple<std::string_view, std::string_view, std::string_view>;  // host, app, message

P parts(std::string_view d)
{
    auto p = parse_syslog(d);
    return {p.host, p.app, p.message};
}

}  // namespace

TEST(UdpConfig, PortFieldOrDefault)
{
    EXPECT_EQ(config_udp_port(std::string(400, 'x')), 20000);  // no field
    for (std::string_view bad : {"", "abc", "514x", "0", "70000", "11111111111111111111"})
        EXPECT_EQ(port_of(bad), 20000) << bad;
    EXPECT_EQ(port_of("514"), 514);
    EXPECT_EQ(port_of(" 8080 "), 8080);
}

TEST(UdpText, DecodingAndCuts)
{
    const std::pair<std::string, std::string> texts[] = {
        {"plain \xE4\xB8\xAD \xF0\x9F\x98\x80", "plain \xE4\xB8\xAD \xF0\x9F\x98\x80"},
        {"\xB9\xA5\xBB\xF7", "攻击"},                              // GB18030
        {"ext \x95\x32\x82\x36", "ext \xF0\xA0\x80\x80"},          // its 4-byte form
        {"bad \xFF\xFE utf", "bad \xEF\xBF\xBD\xEF\xBF\xBD utf"},  // neither encoding
        // A character cut off at the end is dropped, in either encoding.
        {"ab\xF0\x9F\x98", "ab"},
        {"\xD6\xD0\xCE", "中"},
        // A NUL byte is valid UTF-8: the text is kept, not read as GB18030.
        {std::string("\xE4\xB8\xAD\0\xE6\x96\x87", 7),
         std::string("\xE4\xB8\xAD\0\xE6\x96\x87", 7)},
    };
    for (const auto& [in, out] : texts)
        EXPECT_EQ(to_utf8(in), out) << in;
    char buf[8];
    put_text(buf, sizeof buf, "abcd\xF0\x9F\x98\x80");  // the 4-byte character does not fit
    EXPECT_STREQ(buf, "abcd");
    put_text(buf, sizeof buf, "abc\xF0\x9F\x98\x80z");
    EXPECT_STREQ(buf, "abc\xF0\x9F\x98\x80");
    put_text(buf, sizeof buf, "\xD6\xD0\xCE\xC4\xD6\xD0");  // 6 GB18030 bytes, 9 in UTF-8
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
    EXPECT_EQ(parts("<13>Dec  7 02:50:32 vm root[42]: hello world\n"),
              P("vm", "root", "hello world"));
    EXPECT_EQ(parts("<134>Jan 15 2024 10:00:00 gw-1 kernel: DROP"), P("gw-1", "kernel", "DROP"));
    EXPECT_EQ(parts("<30>Jan 15 10:00:00 dhcpd[7]: lease given"), P("", "dhcpd", "lease given"));
    EXPECT_EQ(parts("<134>DROP IN=eth0 SRC=10.0.0.1"), P("", "", "DROP IN=eth0 SRC=10.0.0.1"));
    EXPECT_EQ(parts("<134>router1 pppd: up"), P("router1", "pppd", "up"));
    EXPECT_EQ(parts("no pri at all"), P("", "", "no pri at all"));
    EXPECT_EQ(parts("<999>x"), P("", "", "<999>x"));
}

TEST(UdpSyslog, Rfc5424Variants)
{
    EXPECT_EQ(parts("<132>1 2026-01-05T02:50:32.8+00:00 vm myapp - ID47 "
                    "[timeQuality tzKnown=\"1\"][ex@1 a=\"b\\\"]\"] hello"),
              P("vm", "myapp", "hello"));
    EXPECT_EQ(parts("<13>1 - - - - - - \xEF\xBB\xBFtext"), P("", "", "text"));
    EXPECT_EQ(parts("<13>1 - h a - - [x@1 k=\"v\"]"), P("h", "a", "[x@1 k=\"v\"]"));
    EXPECT_EQ(parts("<13>1 - h a - - [broken"), P("h", "a", "[broken"));
}

TEST(UdpDecode, NativeRecord)
{
    auto r = decode(native_datagram(4, 0x0A000001, "bob", "port scan", "fw", 0, 9), 0x0200007F);
    EXPECT_EQ(imp(r).dwLogType, 4u);
    EXPECT_EQ(imp(r).dwSourceIP, 0x0A000001u);
    EXPECT_STREQ(imp(r).cLogNote, "fw");
    EXPECT_EQ(r.dwIP, 0x0200007Fu);  // taken from the sender
    EXPECT_EQ(r.wnd, 9u);
    r = decode(native_datagram(1, 0, "u", "c", repeat("\xD6\xD0", 32), 0x0501A8C0, 9, 620));
    EXPECT_EQ(r.dwIP, 0x0501A8C0u);  // the record's own
    EXPECT_EQ(r.wnd, 0u);
    EXPECT_EQ(std::string(imp(r).cLogNote), repeat("中", 21));  // 64 GB18030 bytes grow to 96
    // Full fields without a terminator lose their last byte.
    r = decode(native_datagram(5, 1, repeat("U", 32), repeat("C", 512), repeat("N", 64)));
    EXPECT_EQ(std::string(imp(r).cLogUser) + imp(r).cLogContent + imp(r).cLogNote,
              repeat("U", 31) + repeat("C", 511) + repeat("N", 63));
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
    EXPECT_STREQ(imp(decode(std::string("<13>a\0b", 7))).cLogContent, "a b");
    tagCommunicationData_ empty;
    EXPECT_FALSE(decode_datagram("", 1, empty));
    EXPECT_FALSE(decode_datagram("<13>\r\n", 1, empty));
}
