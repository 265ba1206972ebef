# AddressSanitizer and UndefinedBehaviorSanitizer for every target of the including project
# (`make sanitize` switches this on; the normal build never does). The interpreter itself
# is not instrumented, so it must load the sanitizer runtime first (LD_PRELOAD); see the
# Makefile's `sanitize` target.
if(MSVC)
  # MSVC has AddressSanitizer only.
  add_compile_options(/fsanitize=address)
else()
  set(CORVANE_SANITIZER_FLAGS
      -fsanitize=address,undefined
      # A report of undefined behaviour fails the run instead of scrolling past.
      -fno-sanitize-recover=all
      -fno-omit-frame-pointer
      -g)
  add_compile_options(${CORVANE_SANITIZER_FLAGS})
  add_link_options(-fsanitize=address,undefined)
endif()
