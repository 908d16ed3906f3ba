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
    EXPECT_EQ(smtp::parse_command("QUIT").what, verb::quit);
    EXPECT_EQ(smtp::parse_command("starttls").what, verb::not_implemented);
    EXPECT_EQ(smtp::parse_command("MAILX FROM:<a@b>").what, verb::unknown);
    EXPECT_EQ(smtp::parse_command("").what, verb::unknown);
}

TEST(SmtpCommands, MailFromPathAndParameters)
{
    auto ok = [](const char* arg) { return smtp::parse_mail_from(arg).status == arg_status::ok; };
    EXPECT_TRUE(ok("FROM:<a@example.test>"));
    EXPECT_TRUE(ok("from: <a@example.test>"));
    EXPECT_TRUE(ok("FROM:<>"));
    EXPECT_TRUE(ok("FROM:<a@b> BODY=8BITMIME SMTPUTF8 body=7bit"));

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
}

TEST(SmtpCommands, RcptToNeedsAnAddress)
{
    EXPECT_EQ(smtp::parse_rcpt_to("TO:<b@example.test>"), arg_status::ok);
    EXPECT_EQ(smtp::parse_rcpt_to("to: <Postmaster>"), arg_status::ok);
    EXPECT_EQ(smtp::parse_rcpt_to("TO:<>"), arg_status::syntax);
    EXPECT_EQ(smtp::parse_rcpt_to("FROM:<b@c>"), arg_status::syntax);
    EXPECT_EQ(smtp::parse_rcpt_to("TO:<b@c> NOTIFY=NEVER"), arg_status::unknown_parameter);
}

namespace {

struct data_case {
    std::string wire;     // what follows "354", up to and including the ending line
    std::string message;  // what is stored
};

// Feeds `wire + rest` in pieces of `step` bytes (0: in two at `split`).
std::string read_data(const std::string& input, std::size_t step, std::size_t split,
                      std::size_t& consumed)
{
    smtp::data_reader reader;
    std::string out;
    consumed = 0;
    while (!reader.done() && consumed < input.size()) {
        std::size_t len =
            step ? step : (consumed < split ? split - consumed : input.size() - consumed);
        consumed += reader.feed(std::string_view(input).substr(consumed, len), out);
    }
    EXPECT_TRUE(reader.done());
    return out;
}

}  // namespace

TEST(SmtpData, DotsAndLineEndsInEveryPieceSize)
{
    const data_case cases[] = {
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
        {"no end\r\n.\r\n", "no end\r\n"},
    };
    const std::string rest = "QUIT\r\n";
    for (const data_case& c : cases) {
        std::string input = c.wire + rest;
        for (std::size_t step : {1u, 2u, 3u, 7u, 0u}) {
            for (std::size_t split = 0; split <= (step ? 0 : input.size()); ++split) {
                std::size_t consumed = 0;
                EXPECT_EQ(read_data(input, step, split, consumed), c.message)
                    << "wire " << c.wire << " step " << step << " split " << split;
                EXPECT_EQ(consumed, c.wire.size()) << "the next command is left unread";
            }
        }
    }
}
