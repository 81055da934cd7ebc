// Sessions, tokens and process creation of the win32 backend. The session and token calls that
// older Windows versions lack (WTSGetActiveConsoleSessionId, WTSQueryUserToken,
// CreateEnvironmentBlock) are loaded by name for each call; a missing one is a failed call.
// A plat::Token names whose token it is (the user of a session, or this process's own moved into
// a session); the handle is taken again for each use and closed after it, so a Token holds no
// kernel object.
#include "platform/PlatformProcess.h"
#include "platform/WinError.h"
#include "platform/win32/WindowsApi.h"

namespace plat {
namespace {

// The account name of a token's user; empty when it cannot be read.
std::string accountName(HANDLE token) {
  char buffer[512];
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) return {};
  char name[256] = {};
  char domain[256] = {};
  DWORD nameSize = sizeof name, domainSize = sizeof domain;
  SID_NAME_USE use;
  auto* user = reinterpret_cast<TOKEN_USER*>(buffer);
  if (!LookupAccountSidA(nullptr, user->User.Sid, name, &nameSize, domain, &domainSize, &use))
    return {};
  return name;
}

// "A=1\0B=2\0\0" of UTF-16 units as one UTF-8 text per variable.
std::vector<std::string> variablesOf(const wchar_t* block) {
  std::vector<std::string> variables;
  for (const wchar_t* entry = block; *entry != L'\0';) {
    size_t length = wcslen(entry);
    variables.push_back(win32::utf8FromWide(entry, length));
    entry += length + 1;
  }
  return variables;
}

std::wstring unicodeBlock(const std::vector<std::string>& variables) {
  std::wstring block;
  for (const std::string& variable : variables) {
    block += win32::wideFromUtf8(variable);
    block += L'\0';
  }
  block += L'\0';
  return block;
}

}  // namespace

uint32_t activeConsoleSessionId() {
  win32::SystemLibrary kernel("Kernel32.dll");
  if (!kernel.loaded()) return 0;
  using ConsoleSessionFn = DWORD(WINAPI*)();
  auto query = kernel.function<ConsoleSessionFn>("WTSGetActiveConsoleSessionId");
  return query == nullptr ? kNoSession : query();
}

uint32_t currentSessionId() {
  using SessionOfFn = BOOL(WINAPI*)(DWORD, DWORD*);
  auto sessionOf = win32::loadedFunction<SessionOfFn>("kernel32.dll", "ProcessIdToSessionId");
  DWORD session = 0;
  if (sessionOf == nullptr || !sessionOf(GetCurrentProcessId(), &session)) return 0;
  return session;
}

namespace {

bool userToken(uint32_t session, win32::UniqueHandle& handle) {
  win32::SystemLibrary wtsapi("Wtsapi32.dll");
  using QueryTokenFn = BOOL(WINAPI*)(ULONG, PHANDLE);
  auto query = wtsapi.function<QueryTokenFn>("WTSQueryUserToken");
  if (query == nullptr) return win32::failWith(ERROR_PROC_NOT_FOUND);
  HANDLE token = nullptr;
  if (session == kNoSession || !query(session, &token)) return false;
  handle.reset(token);
  return true;
}

// This process's token moved into the session. Impersonation lasts only while the thread token
// is taken and its session set.
bool ownToken(uint32_t session, win32::UniqueHandle& handle) {
  if (session == kNoSession) return win32::failWith(ERROR_INVALID_PARAMETER);
  if (!ImpersonateSelf(SecurityImpersonation)) return false;
  HANDLE token = nullptr;
  bool ok = OpenThreadToken(GetCurrentThread(), TOKEN_ALL_ACCESS, FALSE, &token) != 0;
  handle.reset(ok ? token : nullptr);
  DWORD id = session;
  ok = ok && SetTokenInformation(token, TokenSessionId, &id, sizeof id) != 0;
  DWORD error = GetLastError();
  RevertToSelf();
  if (!ok) handle.reset();
  return ok || win32::failWith(error);
}

bool tokenOf(const Token& token, win32::UniqueHandle& handle) {
  return token.own ? ownToken(token.session, handle) : userToken(token.session, handle);
}

}  // namespace

bool queryUserToken(uint32_t session, Token& token) {
  win32::UniqueHandle handle;
  if (!userToken(session, handle)) return false;
  token = Token{false, session, accountName(handle.get())};
  return true;
}

bool ownTokenInSession(uint32_t session, Token& token) {
  win32::UniqueHandle handle;
  if (!ownToken(session, handle)) return false;
  token = Token{true, session, accountName(handle.get())};
  return true;
}

bool createEnvironmentBlock(const Token& token, bool inherit, std::vector<std::string>& block) {
  block.clear();
  win32::SystemLibrary userenv("Userenv.dll");
  using CreateFn = BOOL(WINAPI*)(LPVOID*, HANDLE, BOOL);
  using DestroyFn = BOOL(WINAPI*)(LPVOID);
  auto create = userenv.function<CreateFn>("CreateEnvironmentBlock");
  auto destroy = userenv.function<DestroyFn>("DestroyEnvironmentBlock");
  if (create == nullptr || destroy == nullptr) return win32::failWith(ERROR_PROC_NOT_FOUND);
  win32::UniqueHandle handle;
  if (!tokenOf(token, handle)) return false;
  void* environment = nullptr;
  if (!create(&environment, handle.get(), inherit ? TRUE : FALSE)) return false;
  block = variablesOf(static_cast<const wchar_t*>(environment));
  destroy(environment);
  return true;
}

struct Process::Impl {
  win32::UniqueHandle process;
  DWORD id = 0;
};

Process::Process() : m_impl(std::make_unique<Impl>()) {}
Process::~Process() = default;

uint32_t Process::id() const { return m_impl->id; }

int Process::wait() {
  if (!m_impl->process.valid()) return -1;
  if (WaitForSingleObject(m_impl->process.get(), INFINITE) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  if (!GetExitCodeProcess(m_impl->process.get(), &code)) return -1;
  m_impl->process.reset();
  return static_cast<int>(code);
}

namespace {

// CreateProcessA in the module's own session and account, or CreateProcessAsUserA with a
// primary duplicate of the request's token on the interactive desktop.
bool createProcess(const LaunchRequest& request, PROCESS_INFORMATION& started) {
  std::string commandLine = request.commandLine;  // CreateProcess may write into it
  const char* folder = request.workingFolder.empty() ? nullptr : request.workingFolder.c_str();
  std::wstring environment;
  if (request.environment != nullptr) environment = unicodeBlock(*request.environment);
  void* block = request.environment != nullptr ? environment.data() : nullptr;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = request.hidden ? STARTF_USESHOWWINDOW : 0;
  startup.wShowWindow = SW_HIDE;
  DWORD flags = block != nullptr ? CREATE_UNICODE_ENVIRONMENT : 0;
  if (request.token == nullptr) {
    startup.dwFlags |= STARTF_FORCEOFFFEEDBACK;
    return CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                          flags | DETACHED_PROCESS, block, folder, &startup, &started) != 0;
  }
  win32::UniqueHandle token;
  if (!tokenOf(*request.token, token)) return false;
  HANDLE duplicate = nullptr;
  auto level = request.token->own ? SecurityImpersonation : SecurityIdentification;
  if (!DuplicateTokenEx(token.get(), MAXIMUM_ALLOWED, nullptr, level, TokenPrimary, &duplicate))
    return false;
  win32::UniqueHandle primary(duplicate);
  char desktop[] = "Winsta0\\Default";
  startup.lpDesktop = desktop;
  return CreateProcessAsUserA(primary.get(), nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                              flags, block, folder, &startup, &started) != 0;
}

}  // namespace

bool Process::start(const LaunchRequest& request, bool waitable) {
  m_impl->process.reset();
  m_impl->id = 0;
  PROCESS_INFORMATION started{};
  if (request.commandLine.empty()) return win32::failWith(ERROR_INVALID_PARAMETER);
  if (!createProcess(request, started)) return false;
  win32::UniqueHandle thread(started.hThread), process(started.hProcess);
  m_impl->id = started.dwProcessId;
  if (waitable) m_impl->process = std::move(process);
  return true;
}

void exitProcess(uint32_t exitCode) { ExitProcess(exitCode); }

// A Windows exit code is whole already: there is no channel to keep from children.
bool isExitCodeChannelEntry(std::string_view) { return false; }
void dropExitCodeChannel() {}

}  // namespace plat
