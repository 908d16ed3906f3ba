#include "receive/warnat.h"
#include "storage/mysql_data.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

namespace {

tagCommunicationData_ record(const char* content, uint32_t source)
{
    tagCommunicationData_ r {};
    r.msg.impMsg.dwLogType = 5;
    r.msg.impMsg.dwSourceIP = source;
    std::strcpy(r.msg.impMsg.cLogContent, content);
    return r;
}

bool unknown(const lookup_keys&, display_texts&) { return false; }

}  // namespace

// A full-length rewrite is followed into LogTab by the pipeline suite.
TEST(Warnat, RewritesTheFirstThreeBlanks)
{
    EXPECT_EQ(repair_warnat("a b c d e"), "a+b+' c '+' d e '");
    EXPECT_EQ(repair_warnat("a b c"), "a b c") << "fewer than three blanks: unchanged";
    EXPECT_FALSE(has_warnat("syslog warnat"));
}

// Blanks become '+' only when asked (as in RowValuesAndSourceInheritance).
TEST(Insertion, LookupKeysOfARewrittenText)
{
    const lookup_keys k = make_lookup_keys("x+syslog.warnat+' y '", 0);
    EXPECT_EQ(k.value_key, "x+syslog.warnat+' y '");
    EXPECT_EQ(k.exist_key, "x");
}

TEST(Insertion, RowValuesAndSourceInheritance)
{
    uint32_t source = 0;
    auto a = record("link up eth0", 0x0A000001);
    log_row r = make_log_row(record("first", 0), "first", 1, 77, source, unknown);
    EXPECT_EQ(r.dwSourceIP, 0u) << "nothing to inherit yet";
    EXPECT_EQ(r.time, 77u);
    make_log_row(a, "link up eth0", 1, 1, source, unknown);
    r = make_log_row(record("link down eth0", 0), "link down eth0", 1, 2, source, unknown);
    EXPECT_EQ(r.dwSourceIP, 0x0A000001u) << "inherits the previous record's source address";
    // Fields without a terminator stay in their field.
    auto full = record("c", 0);
    std::memset(full.msg.impMsg.cLogUser, 'u', sizeof full.msg.impMsg.cLogUser);
    std::memset(full.msg.impMsg.cLogNote, 'n', sizeof full.msg.impMsg.cLogNote);
    r = make_log_row(full, "c", 1, 0, source, unknown);
    EXPECT_EQ(r.cLogUser + r.cLogNote, std::string(32, 'u') + std::string(64, 'n'));

    // An answer of the tables wins; its texts lose their "&nbsp;".
    auto found = [](const lookup_keys& keys, display_texts& out) {
        EXPECT_EQ(keys.value_key, "link+up+eth0");
        EXPECT_EQ(keys.exist_key, "link");
        out = {"链路&nbsp;&nbsp;启用", "link&nbsp;up&nbsp", "鏈路 啟用"};
        return true;
    };
    r = make_log_row(a, "link up eth0", 1, 3, source, found);
    EXPECT_EQ(std::tie(r.cLogContent, r.cLogContent_chinese, r.cLogContent_en, r.cLogContent_fanti),
              std::make_tuple(std::string("link up eth0"), std::string("链路  启用"),
                              std::string("link up&nbsp"), std::string("鏈路 啟用")));
}
