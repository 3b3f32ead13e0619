// Portable: no operating-system calls here; both builds compile and test it.
#include "platform/run_lock_place.h"

namespace os {

RunLockPlace ChooseRunLockPlace(bool namespace_functions_found, bool boundary_made) {
  return namespace_functions_found && boundary_made ? RunLockPlace::kPrivateNamespace
                                                    : RunLockPlace::kGlobalName;
}

bool TrustGlobalRunLock(bool made_here, bool owner_known, bool owner_trusted) {
  return made_here || !owner_known || owner_trusted;
}

}  // namespace os
