#include "syslog_record.h"

#include "base/config.h"

#include <gtest/gtest.h>

#include <sstream>
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
        {"\xB9\xA5\xBB\xF7", "攻击"},                              // GB18030
        {"ext \x95\x32\x82\x36", "ext \xF0\xA0\x80\x80"},          // its 4-byte form
        {"bad \xFF\xFE utf", "bad \xEF\xBF\xBD\xEF\xBF\xBD utf"},  // neither encoding
        // A character cut off at the end is dropped, in either encoding.
        {"ab\xF0\x9F\x98", "ab"},
        {"\xD6\xD0\xCE", "中"},
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
    EXPECT_EQ(classify_text("GET http://example.test/"), 1u);
    EXPECT_EQ(classify_text("port scan on config page url=x"), 4u);  // attack goes first
}

TEST(UdpSyslog, Rfc3164And5424Variants)
{
    EXPECT_EQ(parts("<13>Dec  7 02:50:32 vm root[42]: hello world\n"),
              P("vm", "root", "hello world"));
    EXPECT_EQ(parts("<134>Jan 15 2024 10:00:00 gw-1 kernel: DROP"), P("gw-1", "kernel", "DROP"));
    EXPECT_EQ(parts("<30>Jan 15 10:00:00 dhcpd[7]: lease given"), P("", "dhcpd", "lease given"));
    EXPECT_EQ(parts("<134>DROP IN=eth0 SRC=10.0.0.1"), P("", "", "DROP IN=eth0 SRC=10.0.0.1"));
    EXPECT_EQ(parts("<134>router1 pppd: up"), P("router1", "pppd", "up"));
    EXPECT_EQ(parts("no pri at all"), P("", "", "no pri at all"));
    EXPECT_EQ(parts("<999>x"), P("", "", "<999>x"));
    EXPECT_EQ(parts("<132>1 2026-01-05T02:50:32.8+00:00 vm myapp - ID47 "
                    "[timeQuality tzKnown=\"1\"][ex@1 a=\"b\\\"]\"] hello"),
              P("vm", "myapp", "hello"));
    EXPECT_EQ(parts("<13>1 - - - - - - \xEF\xBB\xBFtext"), P("", "", "text"));
    EXPECT_EQ(parts("<13>1 - h a - - [x@1 k=\"v\"]"), P("h", "a", "[x@1 k=\"v\"]"));
    EXPECT_EQ(parts("<13>1 - h a - - [broken"), P("h", "a", "[broken"));
}

// Each record as "type source-ip user|content|note router wnd", hex numbers.
TEST(UdpDecode, NativeRecordsAndSyslogMessages)
{
    const struct {
        std::string datagram;
        std::string fields;
    } cases[] = {
        // The router is the sender unless the record names one.
        {native_datagram(4, 0x0A000001, "bob", "port scan", "fw", 0, 9),
         "4 a000001 bob|port scan|fw 200007f 9"},
        {native_datagram(1, 0, "u", "c", repeat("\xD6\xD0", 32), 0x0501A8C0, 9, 620),
         "1 0 u|c|" + repeat("中", 21) + " 501a8c0 0"},  // 64 GB18030 bytes to 96; no wnd
        // Full fields without a terminator lose their last byte.
        {native_datagram(5, 1, repeat("U", 32), repeat("C", 512), repeat("N", 64)),
         "5 1 " + repeat("U", 31) + "|" + repeat("C", 511) + "|" + repeat("N", 63) + " 200007f 0"},
        {"<13>Dec  7 02:50:32 gw sshd[5]: Config saved", "3 0 sshd|Config saved|gw 200007f 0"},
        {std::string("<13>a\0b", 7), "5 0 |a b| 200007f 0"},
    };
    for (const auto& c : cases) {
        tagCommunicationData_ r;
        ASSERT_TRUE(decode_datagram(c.datagram, 0x0200007F, r)) << c.fields;
        const tagImpMsg_& m = r.msg.impMsg;
        std::ostringstream got;
        got << std::hex << m.dwLogType << ' ' << m.dwSourceIP << ' ' << m.cLogUser << '|'
            << m.cLogContent << '|' << m.cLogNote << ' ' << r.dwIP << ' ' << r.wnd;
        EXPECT_EQ(got.str(), c.fields);
    }
    tagCommunicationData_ empty;
    EXPECT_FALSE(decode_datagram("<13>\r\n", 1, empty));
}
