#pragma once

// The program's name and version, as the About window shows them and
// `velm --version` prints them.
namespace pvelm {

inline constexpr char kProgramName[] = "PVelm";
inline constexpr char kProgramVersion[] = "Version 1.06";

} // namespace pvelm
