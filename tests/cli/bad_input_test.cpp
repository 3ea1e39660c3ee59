#include <gtest/gtest.h>

#include <string>

#include "orvo/xml.h"
#include "support/run_orvo.h"

namespace orvo {
namespace {

using testing::RunOrvo;

TEST(BadInput, FormulasWithInvalidBytesGiveWellFormedXml) {
  const std::string replacement = "\xEF\xBF\xBD";
  for (const std::string& formula :
       {std::string("=\xFF\xFE+1"), std::string("=\"a\x01\"&B\x1F"), std::string("=\"\xE2\x82")}) {
    SCOPED_TRACE(formula);
    auto parsed = RunOrvo({"parse", "--", formula});
    EXPECT_EQ(parsed.exit_code, 0);
    xml::Document parse = xml::Document::Parse(parsed.out);
    EXPECT_NE(parse.SelectSingleNode("//PEx").AttributeOr("Exp", "").find(replacement),
              std::string::npos);
    for (const xml::Node& message : parse.SelectNodes("//Err")) {
      EXPECT_EQ(message.AttributeOr("Desc", "").find('\x01'), std::string::npos);
    }

    auto tokens = RunOrvo({"tokens", "--", formula});
    EXPECT_EQ(tokens.exit_code, 0);
    EXPECT_NO_THROW(xml::Document::Parse(tokens.out));
  }
}

}  // namespace
}  // namespace orvo
