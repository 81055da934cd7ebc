// The shared routines of the detection language: element extraction from policy texts, the
// registry key operand, path macros and levels, version comparison and version statuses, and
// the local host's addresses. None of them fails: missing facts give empty texts or lists.
#pragma once

#include "platform/NString.h"
#include "platform/NStringArray.h"
#include "platform/PlatformRegistry.h"

// The text between the first opening tag and the first closing tag of text (both searched from
// the start, case-sensitively), unchanged; empty when either is missing or the closing tag does
// not begin after the end of the opening tag.
NString getElementText(const char* text, const char* openTag, const char* closeTag);
// The element from the start of the first opening tag to the end of the first closing tag, both
// included; *endPos (when given) receives the offset just after the closing tag. Empty with
// *endPos -1 when a tag is missing or the closing tag does not end after the opening tag begins.
NString getElement(const char* text, const char* openTag, const char* closeTag, int* endPos);

// Spaces, tabs and line feeds removed at both ends; carriage returns stay.
NString trimOperand(const NString& text);

// Splits a key operand into its root and key path: the hive name runs up to the first backslash,
// or up to a comma that comes before it; the path is what follows. A hive name alone names the
// hive's root key. False when the hive name is not one of the five (compared case-sensitively).
bool splitKeyOperand(const char* key, plat::RegRoot& root, NString& path);

// Expands "%csidl_system%", "%csidl_windows%", "%csidl_program_files%" and
// "%csidl_program_files_common%" (names ignoring case) in the trimmed path; the system folder
// and the two registry values follow the view. One trailing backslash goes.
NString resolvePathMacro(const char* path, bool view64);
// Cuts the path at its levels-th backslash from the end (after one trailing backslash went);
// levels below 1 leave it unchanged; too few backslashes, or a cut at the first character, give
// the empty text.
NString stripPathLevels(const char* path, int levels);
// The pathLevel operand as a number: leading decimal digits, 0 without any.
int readPathLevel(const char* text);

// Compares two version texts part by part ("." and "," separate, missing parts are 0, at most
// 30 parts): 1 when installed is higher, -1 when lower, 0 when equal.
int compareVersion(const char* installed, const char* required);
// "HIGHER", "HIGHER_OR_SAME", "LOWER", "LOWER_OR_SAME" or "SAME" (after trimming, case-sensitive)
// judged on r: 1 true, 0 false, -1 for any other status text.
int judgeVersionStatus(const char* status, int r);

// The local host's IPv4 addresses, as the host-name lookup of its own name gives them (at most
// 20, in that order), each zero-padded ("010.000.000.005"). The list is emptied first.
void getLocalAddresses(NStringArray& list);
