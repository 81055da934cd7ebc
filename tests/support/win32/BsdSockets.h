// The few BSD socket names that the loopback peers of the tests use, on Winsock 2, so that one
// peer source serves both builds: close and shutdown of a socket, MSG_NOSIGNAL (Windows raises
// no signal), ssize_t. A socket handle fits the tests' int (Windows hands out small values;
// INVALID_SOCKET becomes -1). Winsock is started once, before main.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstddef>

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0
#endif
#define SHUT_RDWR SD_BOTH

namespace cvdt::test::bsd {

struct WinsockStartup {
  WinsockStartup() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
};
inline const WinsockStartup g_winsockStartup;

}  // namespace cvdt::test::bsd

inline int close(int fd) { return closesocket(static_cast<SOCKET>(fd)); }
// Winsock reads into char; the tests' peers also read into unsigned char.
inline int recv(int fd, unsigned char* buffer, int length, int flags) {
  return ::recv(static_cast<SOCKET>(fd), reinterpret_cast<char*>(buffer), length, flags);
}
