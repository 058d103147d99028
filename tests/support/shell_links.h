// Reading shell links back as the desktop does, and the user's shortcuts of
// an installation: where they are, where they point, removing them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace pewtest {

inline constexpr char kApplicationLinkName[] = "Pewsterline Ver. 2.1.lnk";

struct LinkContents {
  std::string target;
  std::string workingFolder;
};

// The target (raw path) and working folder of a link file, read through the
// system's link object; nothing when it cannot be read.
std::optional<LinkContents> ReadLink(const std::string& path);

testing::AssertionResult LinkIs(const std::string& path, const std::string& target,
                                const std::string& workingFolder);

// The path of a special folder (CSIDL_*), empty when there is none.
std::string SpecialFolder(int csidl);

// The four shortcuts of an installation in this user's desktop and Start menu.
class UserShortcuts {
 public:
  UserShortcuts();
  const std::string& Desktop() const { return desktop_; }
  const std::string& Group() const { return group_; }
  // Desktop link, then the group's application, Help and Uninstall Information links.
  std::vector<std::string> Links() const;
  // All four present and pointing into `folder`.
  testing::AssertionResult AllPointInto(const std::string& folder) const;
  bool AnyPresent() const;
  // Deletes the links and the group folder, whatever is in their place. Test
  // runs share one prefix.
  void Remove() const;

 private:
  std::string desktop_, group_;
};

}  // namespace pewtest
