#include "receive/warnat.h"
#include "storage/mysql_data.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

namespace {

tagCommunicationData_ record(const char* content, uint32_t source = 0, uint32_t type = 5)
{
    tagCommunicationData_ r {};
    r.msg.impMsg.dwLogType = type;
    r.msg.impMsg.dwSourceIP = source;
    std::strcpy(r.msg.impMsg.cLogUser, "admin");
    std::strcpy(r.msg.impMsg.cLogContent, content);
    std::strcpy(r.msg.impMsg.cLogNote, "note");
    r.dwIP = 0x0101A8C0;
    return r;
}

bool unknown(const lookup_keys&, display_texts&) { return false; }

}  // namespace

TEST(Warnat, RewritesTheFirstThreeBlanks)
{
    EXPECT_EQ(repair_warnat("a b c d e"), "a+b+' c '+' d e '");
    EXPECT_EQ(repair_warnat("x syslog.warnat y z"), "x+syslog.warnat+' y '+' z '");
    EXPECT_EQ(repair_warnat("syslog.warnat y"), "syslog.warnat y") << "one blank: unchanged";
    EXPECT_EQ(repair_warnat("a b c"), "a b c") << "two blanks: unchanged";
    EXPECT_EQ(repair_warnat("a b c "), "a+b+' c '+'  '");
    EXPECT_TRUE(has_warnat("kernel: syslog.warnat disk"));
    EXPECT_FALSE(has_warnat("syslog warnat"));

    // A full-length text keeps every byte of its rewrite.
    std::string longest = "a b c " + std::string(505, 'x');
    EXPECT_EQ(repair_warnat(longest).size(), 519u);
}

TEST(Insertion, LookupKeys)
{
    // text, whether blanks become '+', value key, exist key; a run of spaces
    // becomes as many '+'.
    const std::tuple<const char*, int, const char*, const char*> cases[] = {
        {"link up eth0", 1, "link+up+eth0", "link"},
        {"link up eth0", 0, "link up eth0", "link up eth0"},
        {"reboot", 1, "reboot", "reboot"},
        {"a  b", 1, "a++b", "a"},
        {"x+syslog.warnat+' y '+' z '", 0, "x+syslog.warnat+' y '+' z '", "x"},
    };
    for (const auto& [text, plus, value, exist] : cases) {
        lookup_keys k = make_lookup_keys(text, plus);
        EXPECT_EQ(k.value_key, value) << text;
        EXPECT_EQ(k.exist_key, exist) << text;
    }
}

TEST(Insertion, RemoveNbsp)
{
    EXPECT_EQ(without_nbsp("a&nbsp;&nbsp;b"), "a  b");
    EXPECT_EQ(without_nbsp("&nbsp"), "&nbsp");
    char buf[] = "x&nbsp;y&nbsp;";
    remove_nbsp(buf);
    EXPECT_STREQ(buf, "x y ");
}

TEST(Insertion, RowValuesAndSourceInheritance)
{
    uint32_t store_source_ip = 0;
    auto a0 = record("first", 0);
    log_row r = make_log_row(a0, "first", 1, 77, store_source_ip, unknown);
    EXPECT_EQ(r.dwSourceIP, 0u) << "nothing to inherit yet";
    EXPECT_EQ(r.time, 77u);

    auto a = record("link up eth0", 0x0A000001);
    auto b = record("link down eth0", 0);
    make_log_row(a, "link up eth0", 1, 1, store_source_ip, unknown);
    r = make_log_row(b, "link down eth0", 1, 2, store_source_ip, unknown);
    EXPECT_EQ(r.dwSourceIP, 0x0A000001u) << "B inherits A's source address";
    EXPECT_EQ(r.dwIP, 0x0101A8C0u);
    EXPECT_EQ(r.cLogUser, "admin");
    EXPECT_EQ(r.cLogNote, "note");

    // Found texts pass through remove_nbsp; an answer of the tables wins.
    auto found = [](const lookup_keys& keys, display_texts& out) {
        EXPECT_EQ(keys.value_key, "link+up+eth0");
        EXPECT_EQ(keys.exist_key, "link");
        out = {"链路&nbsp;&nbsp;启用", "link&nbsp;up", "鏈路 啟用"};
        return true;
    };
    r = make_log_row(a, "link up eth0", 1, 3, store_source_ip, found);
    EXPECT_EQ(r.cLogContent_chinese, "链路  启用");
    EXPECT_EQ(r.cLogContent_en, "link up");
    EXPECT_EQ(r.cLogContent_fanti, "鏈路 啟用");
    EXPECT_EQ(r.cLogContent, "link up eth0");
}

TEST(Insertion, FieldsWithoutTerminatorStayInTheirField)
{
    tagCommunicationData_ r {};
    std::memset(r.msg.impMsg.cLogUser, 'u', sizeof r.msg.impMsg.cLogUser);
    std::memset(r.msg.impMsg.cLogNote, 'n', sizeof r.msg.impMsg.cLogNote);
    uint32_t src = 0;
    log_row row = make_log_row(r, "c", 1, 0, src, unknown);
    EXPECT_EQ(row.cLogUser, std::string(32, 'u'));
    EXPECT_EQ(row.cLogNote, std::string(64, 'n'));
}

TEST(Insertion, StatementHasTheColumnsAndQuotedValues)
{
    log_row r {1, 3, 2, "u", "c", "n", 9, "zh", "tw", "en"};
    EXPECT_EQ(insert_statement(nullptr, {r}),
              "insert into LogTab (dwIP,dwLogType,dwSourceIP,cLogUser,cLogContent,cLogNote,time,"
              "cLogContent_chinese,cLogContent_fanti,cLogContent_en) values "
              "('1','3','2','u','c','n','9','zh','tw','en')");
    std::string two = insert_statement(nullptr, {r, r});
    EXPECT_NE(two.find("'en'),('1'"), std::string::npos);
    r.cLogUser = "o'brien";  // escaped as tests/app/extern_test.cpp shows
    EXPECT_NE(insert_values(nullptr, r).find("'o\\'brien'"), std::string::npos);
}

TEST(Insertion, FailedBatchIsRetriedRowByRow)
{
    MYSQL* none = nullptr;
    std::vector<std::string> statements;
    std::vector<std::string> lost;
    insert_batch batch(
        &none,
        [&](const std::string& sql) {
            statements.push_back(sql);
            // The server refuses the whole batch and any statement with "bad".
            return (sql.find("'bad'") != std::string::npos) ? -1 : 0;
        },
        [&](const log_row& row) { lost.push_back(row.cLogContent); }, 3);
    for (const char* c : {"one", "bad", "three"}) {
        log_row r;
        r.cLogContent = c;
        batch.add(r);
    }
    EXPECT_TRUE(batch.full());
    EXPECT_EQ(batch.flush(), 2u);
    EXPECT_EQ(statements.size(), 4u) << "one batch, then one statement per row";
    EXPECT_EQ(lost, std::vector<std::string> {"bad"});
    EXPECT_EQ(batch.stored(), 2u);
    EXPECT_EQ(batch.failed(), 1u);
    EXPECT_EQ(batch.size(), 0u);
    EXPECT_EQ(batch.flush(), 0u) << "nothing left to store";

    // The rows of the retried batch keep their order.
    EXPECT_NE(statements[1].find("'one'"), std::string::npos);
    EXPECT_NE(statements[3].find("'three'"), std::string::npos);
}
