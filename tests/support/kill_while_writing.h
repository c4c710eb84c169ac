// Kills a process in the middle of writing a file: a child writes one of
// two versions of the file over and over (version 0 first, then 1, 0, 1 ...)
// and gets SIGKILL at a random moment after its first write is done; then
// the parent looks at what is on disk. Repeated `rounds` times, each time
// from the file as the last kill left it.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <random>

#include <gtest/gtest.h>

inline void KillWhileWriting(int rounds, const std::function<void(int version)>& write,
                             const std::function<void(int round)>& check) {
  std::mt19937 random(std::random_device{}());
  for (int round = 0; round < rounds; ++round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int i = 0;; ++i) {
        write(i & 1);
        if (i == 0) (void)!::write(ready[1], "x", 1);
      }
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    // Anywhere in the writes that follow (the moment is random, not timed).
    usleep(std::uniform_int_distribution<int>(0, 20000)(random));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    check(round);
  }
}
