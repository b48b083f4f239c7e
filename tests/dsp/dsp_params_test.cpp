// The number forms of Params lines, which player.ini shares with the automation program.
#include "dsp/dsp_params.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace {

TEST(DSPParams, FloatsAreWrittenInTheShortestGeneralForm)
{
  struct TCase
  {
    float Value;
    const char* Text;
  };
  const TCase Cases[] = {
      {4.0f, "4"},
      {2.3f, "2.29999995231628"},
      {1.3f, "1.29999995231628"},
      {-16.0f, "-16"},
      {0.5f, "0.5"},
      {0.0f, "0"},
      {0.0001f, "9.99999974737875E-5"},
      {0.001f, "0.00100000004749745"},
      {1e20f, "1.00000002004088E20"},
      {123456.0f, "123456"},
  };
  // The user's locale never changes the separator.
  const QLocale Previous;
  QLocale::setDefault(QLocale(QLocale::German));
  for (const TCase& Case : Cases)
    EXPECT_EQ(FormatParamFloat(Case.Value), QString::fromLatin1(Case.Text));
  QLocale::setDefault(Previous);
}

TEST(DSPParams, LinesAreReadWithAPointAndNonNumbersAsZero)
{
  struct TCase
  {
    const char* Text;
    double Float;
    int Int;
  };
  const TCase Cases[] = {
      {"2.5", 2.5, 0}, {" 3 ", 3, 3}, {"-2", -2, -2}, {"1E-5", 1e-5, 0},
      {"1e2", 100, 0}, {"1,5", 0, 0}, {"abc", 0, 0},  {"", 0, 0},
      {"inf", 0, 0},   {"nan", 0, 0}, {"12dB", 0, 0}, {"+7", 7, 7},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Text);
    EXPECT_EQ(ParseParamFloat(QString::fromLatin1(Case.Text)), Case.Float);
    EXPECT_EQ(ParseParamInt(QString::fromLatin1(Case.Text)), Case.Int);
  }
}

} // namespace
