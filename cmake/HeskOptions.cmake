# Build options shared by every target: strict warnings and the sanitizers.
option(HESK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(hesk_warnings INTERFACE)
target_compile_options(hesk_warnings INTERFACE -Wall -Wextra)

if(HESK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
