#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dev_agent/base/text.h"
#include "dev_agent/protocol/answer_fit.h"
#include "support/repeated.h"

namespace quillbrook::dev_agent {
namespace {

using json::Value;
using test_support::repeated;

std::size_t writtenSize(const Value& value) { return json::writeCompactSorted(value).value().size(); }

bool isCut(const Value& text) { return text.string().ends_with(kCutNote); }

// `count` entries shaped like a draft list's.
Value entries(std::size_t count, const std::string& subject) {
    Value list = Value::array();
    for (std::size_t i = 0; i < count; ++i) {
        list.pushBack({{"id", std::to_string(i)}, {"subject", subject}});
    }
    return list;
}

struct FitCase {
    const char* name;
    Value result;
    std::size_t budget;
    std::function<void(const Value& fitted)> check;
};

class FitResult : public testing::TestWithParam<FitCase> {};

TEST_P(FitResult, FitsTheBudgetAsWritten) {
    Value fitted = GetParam().result;
    fitResult(fitted, GetParam().budget);
    EXPECT_LE(writtenSize(fitted), GetParam().budget);
    GetParam().check(fitted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitResult,
    testing::Values(FitCase{"a_result_that_fits_is_left_alone",
                            {{"body", std::string(5000, '"')}, {"uid", "7"}},
                            10021,  // exactly its size
                            [](const Value& fitted) {
                                EXPECT_EQ(fitted, (Value{{"body", std::string(5000, '"')}, {"uid", "7"}}));
                            }},
                    // Each quote is written as two bytes, each control as six: the cut
                    // counts them so, and keeps as much text as the budget holds.
                    FitCase{"quotes_are_cut_by_their_escaped_size",
                            {{"body", std::string(50000, '"')}, {"uid", "7"}},
                            20000,
                            [](const Value& fitted) {
                                EXPECT_TRUE(isCut(fitted["body"]));
                                EXPECT_GT(fitted["body"].string().size(), 9000u);
                            }},
                    FitCase{"controls_are_cut_by_their_escaped_size",
                            {{"body", std::string(50000, '\x01')}},
                            20000,
                            [](const Value& fitted) { EXPECT_GT(fitted["body"].string().size(), 3000u); }},
                    FitCase{"a_cut_never_splits_a_character",
                            {{"subject", std::string(3000, 'x')}, {"body", repeated("\xE2\x82\xAC", 6000)}},
                            5000,
                            [](const Value& fitted) { EXPECT_TRUE(isCut(fitted["body"])); }},
                    FitCase{"the_longest_texts_are_cut_to_one_length_and_short_ones_stay",
                            {{"to", std::string(40000, 'a')},
                             {"body", std::string(30000, 'b')},
                             {"subject", std::string(3000, 'c')},
                             {"folder", "INBOX"}},
                            20000,
                            [](const Value& fitted) {
                                EXPECT_TRUE(isCut(fitted["to"]));
                                EXPECT_TRUE(isCut(fitted["body"]));
                                EXPECT_EQ(fitted["to"].string().size(), fitted["body"].string().size());
                                EXPECT_EQ(fitted["subject"], std::string(3000, 'c'));
                                EXPECT_EQ(fitted["folder"], "INBOX");
                            }},
                    FitCase{"texts_of_every_entry_are_cut_before_an_entry_goes",
                            {{"emails", entries(200, std::string(20000, 's'))}, {"total", 500}},
                            1000000,
                            [](const Value& fitted) {
                                ASSERT_EQ(fitted["emails"].size(), 200u);
                                EXPECT_TRUE(isCut(fitted["emails"][199]["subject"]));
                                EXPECT_EQ(fitted["emails"][199]["id"], "199");
                                EXPECT_FALSE(fitted.contains("emailsOmitted"));
                            }},
                    FitCase{"a_list_too_long_loses_its_last_entries_and_says_how_many",
                            {{"drafts", entries(6000, "Plans")}},
                            100000,
                            [](const Value& fitted) {
                                std::size_t kept = fitted["drafts"].size();
                                EXPECT_GT(kept, 3000u);
                                EXPECT_EQ(fitted["drafts"][kept - 1]["id"], std::to_string(kept - 1));
                                EXPECT_EQ(fitted["draftsOmitted"], 6000 - kept);
                            }},
                    FitCase{"a_nested_list_is_shortened_where_it_is",
                            {{"message",
                              {{"references", Value(std::vector<std::string>(30000, "<a@b.example>"))},
                               {"body", std::string(90000, 'b')}}}},
                            100000,
                            [](const Value& fitted) {
                                const Value& message = fitted["message"];
                                EXPECT_EQ(message["referencesOmitted"], 30000 - message["references"].size());
                                EXPECT_GT(message["body"].string().size(), 500u);
                            }}),
    [](const testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillbrook::dev_agent
