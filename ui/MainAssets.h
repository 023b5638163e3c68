#pragma once

// The maker's own texts shown in and sent from the main window.
namespace MainAssets {

inline constexpr char kCopyright[] = "\u00a9 2026 Morvane Software";
inline constexpr char kWebAddress[] = "https://morvane.example.org";
inline constexpr char kMailAddress[] = "morvane@example.org";
inline constexpr char kMailGreeting[] = "Hello Morvane team, a word about Morvane:";

} // namespace MainAssets
