/* A library with a small dynamic TLS block, placed where the sanitizer runtime misreads it.
 *
 * glibc allocates a dlopen'ed library's TLS block with malloc on the thread's first access. The
 * sanitizer's allocator hands out 32-byte requests from 48-byte chunks, one in 256 of which
 * starts on a page, its user memory 16 bytes in. With the quarantine off, freed chunks are
 * handed out again last-freed first, so freeing such chunks just before the first access puts
 * the block (and the DTV that glibc may grow first) there. */
#include <stdint.h>
#include <stdlib.h>

static __thread void *slot[4];

enum { SEARCHED = 1 << 16, PLACED = 8 };

uintptr_t place_tls_block_on_page_start(void) {
  static void *searched[SEARCHED];
  void *on_page_start[PLACED];
  int searched_count = 0, placed_count = 0;
  while (searched_count < SEARCHED && placed_count < PLACED) {
    void *chunk = malloc(sizeof slot);
    if (((uintptr_t)chunk & 4095) == 16)
      on_page_start[placed_count++] = chunk;
    else
      searched[searched_count++] = chunk;
  }
  for (int i = 0; i < placed_count; ++i) free(on_page_start[i]);
  slot[0] = &slot; /* the first access allocates the block */
  for (int i = 0; i < searched_count; ++i) free(searched[i]);
  return (uintptr_t)&slot[0];
}
