# Build options shared by every target: strict warnings and the sanitizers.
option(HESK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(HESK_TSAN "Build with ThreadSanitizer" OFF)

# Rebuilds of several work trees reuse object files through ccache where the
# machine has it; nothing changes where it does not.
find_program(HESK_CCACHE ccache)
if(HESK_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(CMAKE_C_COMPILER_LAUNCHER ${HESK_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${HESK_CCACHE})
endif()

add_library(hesk_warnings INTERFACE)
target_compile_options(hesk_warnings INTERFACE -Wall -Wextra)

# The shared-memory partition format puts its data area at 300 + 48 * nbuf
# bytes, so records with 8-byte fields in partition buffers are only 4-byte
# aligned. The format is fixed and x86 reads such fields correctly, so the
# alignment check is the one UBSan check left out.
if(HESK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize=alignment -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# The System V semaphores that order the processes' and threads' accesses to
# shared memory are made known to ThreadSanitizer by annotations in the
# partition layer (see src/hesk/shm/tsan_sync.h).
if(HESK_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
