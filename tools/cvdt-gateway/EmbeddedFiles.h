// EmbeddedFiles: files built into cvdt-gateway: the status page and the message catalogue
// sources (generated from EmbeddedFiles.cpp.in at configure time).
#pragma once

namespace cvdt::gateway::embedded {

extern const char* const kIndexHtml;
extern const char* const kAppJs;
extern const char* const kMessagesEnglish;
extern const char* const kMessagesKorean;

}  // namespace cvdt::gateway::embedded
