// The long-path form that lets the walker and the stream scanners pass 260 characters.
#include <gtest/gtest.h>

#include <string>

#include "scanners/logic/path_forms.h"

using namespace tarvex;

namespace {

TEST(FolderPaths, LongPathFormOfEveryKindOfPath) {
  struct Case {
    std::u16string path;
    std::u16string longForm;
  } cases[] = {
      {u"C:\\data\\x.txt", u"\\\\?\\C:\\data\\x.txt"},
      {u"c:/data/x.txt:ads", u"\\\\?\\c:\\data\\x.txt:ads"},
      {u"\\\\server\\share\\x", u"\\\\?\\UNC\\server\\share\\x"},
      {u"\\\\?\\C:\\already", u"\\\\?\\C:\\already"},
      {u"\\\\.\\device", u"\\\\.\\device"},
      {u"relative\\x", u"relative\\x"},  // made absolute by the caller first
      {u"C:relative", u"C:relative"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.longForm, LongPathForm(c.path));
}

TEST(FolderPaths, OnlyPathsBeyondThePlainLimitNeedTheLongForm) {
  const std::u16string base = u"C:\\";
  EXPECT_FALSE(NeedsLongPathForm(base + std::u16string(kPlainPathMaxChars - 3, u'x')));
  EXPECT_TRUE(NeedsLongPathForm(base + std::u16string(kPlainPathMaxChars - 2, u'x')));
  EXPECT_FALSE(NeedsLongPathForm(u"\\\\?\\C:\\" + std::u16string(400, u'x')));
  EXPECT_TRUE(HasDevicePrefix(u"//?/C:/x"));
  EXPECT_FALSE(HasDevicePrefix(u"\\\\server\\x"));
}

}  // namespace
