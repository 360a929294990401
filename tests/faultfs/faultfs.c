/* faultfs: serves one image file, read-only, through FUSE, the way a failing card or disk answers.
 *
 *   faultfs [OPTIONS] IMAGE MOUNTPOINT
 *     --name NAME             the served file's name (default: the image's own name)
 *     --eio START:LENGTH      reads of these bytes fail with EIO (repeatable)
 *     --delay START:LENGTH:MS each read that touches these bytes first waits MS milliseconds
 *                             (repeatable; START:LENGTH may be 0:0 for the whole image)
 *     --delays-off            the delays start switched off: SIGUSR1 switches them on, SIGUSR2 off
 *     --fail-after BYTES      once this many bytes were served, every read fails with EIO (a device
 *                             that drops off the bus)
 *
 * A read that starts before a failing range delivers the bytes up to it (a short read), as a device
 * delivers the sectors before a bad one; a read that starts inside one fails. Every read reaches
 * this program (direct I/O), so the page cache never hides a failure or a delay. The program stays
 * in the foreground and serves one request at a time; unmount with fusermount3 -u (or umount),
 * after which it says on stderr how many bytes it served and how many reads it delayed.
 */
#define FUSE_USE_VERSION 31

#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

enum { kMaxRanges = 256 };

struct range {
  long long start;
  long long length; /* 0: to the end of the image */
  unsigned ms;
};

static struct {
  int fd;
  long long size;
  char name[256];
  struct range eio[kMaxRanges];
  int eio_count;
  struct range delay[kMaxRanges];
  int delay_count;
  long long fail_after; /* -1: never */
  long long served;
  long long delayed; /* reads that waited */
} state = {.fd = -1, .fail_after = -1};

static volatile sig_atomic_t delays_on = 1;

static void delays_switch(int sig) { delays_on = sig == SIGUSR1; }

static long long range_end(const struct range* r) { return r->length ? r->start + r->length : state.size; }

static int overlaps(const struct range* r, long long from, long long to) { return r->start < to && from < range_end(r); }

static int fs_getattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
  (void)fi;
  memset(st, 0, sizeof *st);
  if (strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0555;
    st->st_nlink = 2;
    return 0;
  }
  if (path[0] == '/' && strcmp(path + 1, state.name) == 0) {
    st->st_mode = S_IFREG | 0444;
    st->st_nlink = 1;
    st->st_size = state.size;
    return 0;
  }
  return -ENOENT;
}

static int fs_readdir(const char* path, void* buf, fuse_fill_dir_t fill, off_t offset, struct fuse_file_info* fi,
                      enum fuse_readdir_flags flags) {
  (void)offset;
  (void)fi;
  (void)flags;
  if (strcmp(path, "/") != 0) return -ENOENT;
  fill(buf, ".", NULL, 0, 0);
  fill(buf, "..", NULL, 0, 0);
  fill(buf, state.name, NULL, 0, 0);
  return 0;
}

static int fs_open(const char* path, struct fuse_file_info* fi) {
  if (path[0] != '/' || strcmp(path + 1, state.name) != 0) return -ENOENT;
  if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  fi->direct_io = 1;
  return 0;
}

static int fs_read(const char* path, char* buf, size_t size, off_t offset, struct fuse_file_info* fi) {
  (void)path;
  (void)fi;
  long long from = offset, to = offset + (long long)size;
  if (from >= state.size) return 0;
  if (to > state.size) to = state.size;
  if (state.fail_after >= 0) {
    if (state.served >= state.fail_after) return -EIO;
    if (to - from > state.fail_after - state.served) to = from + (state.fail_after - state.served);
  }
  if (delays_on) {
    for (int i = 0; i < state.delay_count; ++i) {
      if (!overlaps(&state.delay[i], from, to)) continue;
      struct timespec wait = {state.delay[i].ms / 1000, (long)(state.delay[i].ms % 1000) * 1000000L};
      while (nanosleep(&wait, &wait) == -1 && errno == EINTR) {
      }
      ++state.delayed;
      break;
    }
  }
  for (int i = 0; i < state.eio_count; ++i) {
    if (!overlaps(&state.eio[i], from, to)) continue;
    if (state.eio[i].start <= from) return -EIO;
    to = state.eio[i].start;
  }
  long long done = 0;
  while (from + done < to) {
    ssize_t n = pread(state.fd, buf + done, (size_t)(to - from - done), (off_t)(from + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -errno;
    if (n == 0) break;
    done += n;
  }
  state.served += done;
  return (int)done;
}

static const struct fuse_operations operations = {
    .getattr = fs_getattr,
    .readdir = fs_readdir,
    .open = fs_open,
    .read = fs_read,
};

static int parse_range(const char* text, struct range* r, int with_ms) {
  char* end;
  r->start = strtoll(text, &end, 0);
  if (*end != ':') return 0;
  r->length = strtoll(end + 1, &end, 0);
  r->ms = 0;
  if (with_ms) {
    if (*end != ':') return 0;
    r->ms = (unsigned)strtoul(end + 1, &end, 0);
  }
  return *end == '\0' && r->start >= 0 && r->length >= 0;
}

static int usage(void) {
  fprintf(stderr,
          "usage: faultfs [--name NAME] [--eio START:LENGTH]... [--delay START:LENGTH:MS]... [--delays-off]\n"
          "               [--fail-after BYTES] IMAGE MOUNTPOINT\n");
  return 2;
}

int main(int argc, char** argv) {
  const char* image = NULL;
  const char* mountpoint = NULL;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : NULL;
    if (strcmp(a, "--name") == 0 && value) {
      snprintf(state.name, sizeof state.name, "%s", value);
      ++i;
    } else if (strcmp(a, "--eio") == 0 && value && state.eio_count < kMaxRanges) {
      if (!parse_range(value, &state.eio[state.eio_count++], 0)) return usage();
      ++i;
    } else if (strcmp(a, "--delay") == 0 && value && state.delay_count < kMaxRanges) {
      if (!parse_range(value, &state.delay[state.delay_count++], 1)) return usage();
      ++i;
    } else if (strcmp(a, "--delays-off") == 0) {
      delays_on = 0;
    } else if (strcmp(a, "--fail-after") == 0 && value) {
      state.fail_after = strtoll(value, NULL, 0);
      ++i;
    } else if (a[0] == '-') {
      return usage();
    } else if (!image) {
      image = a;
    } else if (!mountpoint) {
      mountpoint = a;
    } else {
      return usage();
    }
  }
  if (!image || !mountpoint) return usage();
  state.fd = open(image, O_RDONLY);
  if (state.fd < 0) {
    perror(image);
    return 1;
  }
  struct stat st;
  if (fstat(state.fd, &st) != 0) {
    perror(image);
    return 1;
  }
  state.size = st.st_size;
  if (!state.name[0]) {
    const char* slash = strrchr(image, '/');
    snprintf(state.name, sizeof state.name, "%s", slash ? slash + 1 : image);
  }
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = delays_switch;
  sigaction(SIGUSR1, &sa, NULL);
  sigaction(SIGUSR2, &sa, NULL);

  /* Foreground, one request at a time, read-only. */
  char* fuse_argv[] = {argv[0], "-f", "-s", "-o", "ro,fsname=faultfs,subtype=faultfs", (char*)mountpoint,
                       NULL};
  const int status = fuse_main(6, fuse_argv, &operations, NULL);
  /* Tests learn from this how far a job reads, to make a device fail in the middle of it, and how
   * many slow reads it waited for. */
  fprintf(stderr, "faultfs: served %lld bytes, %lld delayed reads\n", state.served, state.delayed);
  return status;
}
