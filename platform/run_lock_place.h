// Where the Windows build keeps its run lock. Portable, so that both builds
// test the one decision; the Windows layer supplies what the system offers.
#ifndef KX_PLATFORM_RUN_LOCK_PLACE_H_
#define KX_PLATFORM_RUN_LOCK_PLACE_H_

namespace os {

enum class RunLockPlace {
  /// A mutex in a private namespace whose boundary holds the Administrators
  /// group: no other account can make, open or hold it.
  kPrivateNamespace,
  /// The Global mutex, made with an access list for Administrators and SYSTEM:
  /// for systems without private namespaces (Wine).
  kGlobalName,
};

/// The private namespace where the system has one (its functions are there
/// and a boundary can be made), else the Global mutex.
RunLockPlace ChooseRunLockPlace(bool namespace_functions_found, bool boundary_made);

/// Whether a Global mutex may serve as the run lock: one that this run made,
/// or one that an administrator, SYSTEM or this account made before it. One
/// that another account made first would let that account hold every run off.
/// A mutex that shows no owner at all (Wine keeps none) cannot be told apart
/// and is trusted: every Windows system that names owners has private
/// namespaces and never comes here.
bool TrustGlobalRunLock(bool made_here, bool owner_known, bool owner_trusted);

}  // namespace os

#endif  // KX_PLATFORM_RUN_LOCK_PLACE_H_
