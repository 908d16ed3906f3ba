// Command parsing and the message text of DATA, without sockets.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "smtp_protocol.h"

using smtp::arg_status;
using smtp::verb;

TEST(SmtpCommands, VerbsInAnyCaseWithTheirArguments)
{
    auto cmd = smtp::parse_command("ehlo  client.example ");
    EXPECT_EQ(cmd.what, verb::ehlo);
    EXPECT_EQ(cmd.arg, "client.example");
    EXPECT_EQ(smtp::parse_command("Mail FROM:<a@b>").what, verb::mail);
    EXPECT_EQ(smtp::parse_command("Mail FROM:<a@b>").arg, "FROM:<a@b>");
    EXPECT_EQ(smtp::parse_command("starttls").what, verb::not_implemented);
    EXPECT_EQ(smtp::parse_command("MAILX FROM:<a@b>").what, verb::unknown);
    EXPECT_EQ(smtp::parse_command("").what, verb::unknown);
}

TEST(SmtpCommands, MailFromAndRcptToArguments)
{
    for (const char* good : {"FROM:<a@example.test>", "from: <a@example.test>", "FROM:<>",
                             "FROM:<a@b> BODY=8BITMIME SMTPUTF8 body=7bit"})
        EXPECT_EQ(smtp::parse_mail_from(good).status, arg_status::ok) << good;
    for (const char* bad : {"FROM:a@b", "FROM:<a b>", "FROM:<a@b", "FROM:<a@b>x", "TO:<a@b>", ""})
        EXPECT_EQ(smtp::parse_mail_from(bad).status, arg_status::syntax) << bad;
    for (const char* unknown :
         {"FROM:<a@b> AUTH=<>", "FROM:<a@b> SIZE=12x", "FROM:<a@b> BODY=BINARYMIME",
          "FROM:<a@b> SMTPUTF8=yes", "FROM:<a@b> SIZE="})
        EXPECT_EQ(smtp::parse_mail_from(unknown).status, arg_status::unknown_parameter) << unknown;

    auto sized = smtp::parse_mail_from("FROM:<a@b> size=20480");
    EXPECT_TRUE(sized.has_size);
    EXPECT_EQ(sized.size, 20480u);
    EXPECT_FALSE(smtp::parse_mail_from("FROM:<a@b>").has_size);
    EXPECT_EQ(smtp::parse_mail_from("FROM:<a@b> SIZE=99999999999999999999").size, UINT64_MAX);

    EXPECT_EQ(smtp::parse_rcpt_to("TO:<b@example.test>"), arg_status::ok);
    EXPECT_EQ(smtp::parse_rcpt_to("to: <Postmaster>"), arg_status::ok);
    EXPECT_EQ(smtp::parse_rcpt_to("TO:<>"), arg_status::syntax);
    EXPECT_EQ(smtp::parse_rcpt_to("FROM:<b@c>"), arg_status::syntax);
    EXPECT_EQ(smtp::parse_rcpt_to("TO:<b@c> NOTIFY=NEVER"), arg_status::unknown_parameter);
}

// The command after the data is left unread. (That pieces of any size give
// the same: the smtp_protocol fuzz corpus.)
TEST(SmtpData, DotsAndLineEnds)
{
    const std::pair<std::string, std::string> cases[] = {
        // What follows "354" up to the ending line, and what is stored.
        {"a\r\n.\r\n", "a\r\n"},
        {".\r\n", ""},
        {"..\r\n.\r\n", ".\r\n"},
        {"..x\r\n.x\r\n...\r\n.\r\n", ".x\r\nx\r\n..\r\n"},
        {"\r\n\r\n.\r\n", "\r\n\r\n"},
        // A lone LF or CR ends no line: the dot after it is text, and
        // "<LF>.<CR><LF>" does not end the data.
        {"a\n.\r\n.\r\n", "a\n.\r\n"},
        {"a\r.\r\n.\r\n", "a\r.\r\n"},
        {".\r.\r\n.\r\n", "\r.\r\n"},
        {".\r\r\n.\r\n", "\r\r\n"},
    };
    for (const auto& [wire, message] : cases) {
        smtp::data_reader reader;
        std::string out;
        EXPECT_EQ(reader.feed(wire + "QUIT\r\n", out), wire.size()) << wire;
        EXPECT_TRUE(reader.done()) << wire;
        EXPECT_EQ(out, message) << wire;
    }
}
