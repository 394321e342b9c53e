// The slide order: names listed by name order come back in slide-number order;
// names without a usable number are clear errors, never placeholders.
#include "conversion/slide_order.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace quillet {
namespace {

std::vector<std::string> SlideNames(int count) {
  std::vector<std::string> names;
  for (int n = 1; n <= count; ++n) names.push_back("Slide" + std::to_string(n) + ".jpg");
  return names;
}

std::vector<std::string> InNameOrder(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(OrderSlidesTest, TwelveSlidesListedByNameComeBackByNumber) {
  const std::vector<std::string> listed = InNameOrder(SlideNames(12));
  ASSERT_EQ(listed[1], "Slide10.jpg");  // 1, 10, 11, 12, 2, ...
  EXPECT_EQ(OrderSlides(listed), SlideNames(12));
}

TEST(OrderSlidesTest, FourHundredSlides) { EXPECT_EQ(OrderSlides(InNameOrder(SlideNames(400))), SlideNames(400)); }

TEST(OrderSlidesTest, OneSlide) { EXPECT_EQ(OrderSlides({"Slide1.jpg"}), SlideNames(1)); }

TEST(OrderSlidesTest, NumberStartsWhereTheFirstNamesNumberStarts) {
  // p comes from the first listed name; the digits end at the first ".".
  EXPECT_EQ(OrderSlides({"img2.a.jpg", "img1.b.jpg"}), (std::vector<std::string>{"img1.b.jpg", "img2.a.jpg"}));
}

struct BadListing {
  const char* what;
  std::vector<std::string> names;
  const char* message;
};

class OrderSlidesErrorTest : public ::testing::TestWithParam<BadListing> {};

TEST_P(OrderSlidesErrorTest, IsAClearError) {
  try {
    OrderSlides(GetParam().names);
    FAIL() << "no error for " << GetParam().what;
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), GetParam().message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Listings, OrderSlidesErrorTest,
    ::testing::Values(
        BadListing{"no listing", {}, "the slide export wrote no pictures"},
        BadListing{
            "no digit", {"cover.jpg", "Slide1.jpg"}, "the slide picture \"cover.jpg\" has no slide number in its name"},
        BadListing{
            "no digits where the first has them",
            {"Slide1.jpg", "Slidex.jpg"},
            "the slide picture \"Slidex.jpg\" has no slide number where \"Slide1.jpg\" has it (from character 6 to "
            "the first \".\")"},
        BadListing{
            "dot before the number",
            {"Slide1.jpg", "S.lide2.jpg"},
            "the slide picture \"S.lide2.jpg\" has no slide number where \"Slide1.jpg\" has it (from character 6 "
            "to the first \".\")"},
        BadListing{
            "zero", {"Slide0.jpg", "Slide1.jpg"}, "the slide picture \"Slide0.jpg\" has the number 0, outside 1 to 2"},
        BadListing{"past the count",
                   {"Slide1.jpg", "Slide3.jpg"},
                   "the slide picture \"Slide3.jpg\" has the number 3, outside 1 to 2"},
        BadListing{
            "a huge number",
            {"Slide1.jpg", "Slide99999999999999999999.jpg"},
            "the slide picture \"Slide99999999999999999999.jpg\" has no slide number where \"Slide1.jpg\" has it "
            "(from character 6 to the first \".\")"},
        BadListing{"twice",
                   {"Slide1.jpg", "Slide01.jpg"},
                   "the slide pictures \"Slide1.jpg\" and \"Slide01.jpg\" both have the number 1"}));

}  // namespace
}  // namespace quillet
