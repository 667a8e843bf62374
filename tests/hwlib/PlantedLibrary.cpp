// What another user might leave where the program looks for its hardware library: a library
// whose constructor runs as soon as anyone loads it. It leaves a mark, so a test can tell.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

__attribute__((constructor)) static void LeaveMark() {
  const char* marker = std::getenv("KORVANE_PLANT_MARKER");
  if (marker == nullptr) return;
  const int fd = ::open(marker, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd >= 0) ::close(fd);
}
