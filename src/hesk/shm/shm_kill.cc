// C_shm_kill: zero the user count on construction; the inherited destructor's
// release then removes the partition.
#include "C_shm_kill.h"

C_shm_kill::C_shm_kill(const char* name) : C_shm() {
  if (name != nullptr) Zeuss(name);
}
