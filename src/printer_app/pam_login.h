// Logins of administrators: a user's password checked through PAM, and membership of a
// group.
#pragma once

#include <string>

namespace qx::papp {

// Whether PAM's `service` accepts `password` for `user` (authentication and the account
// check). The PAM configuration comes from /etc/pam.d, or from the folder named by
// QX_PAM_CONFDIR when it is set (used by the tests, which bring their own service).
bool PasswordIsRight(const std::string& service, const std::string& user,
                     const std::string& password);

// Whether `user` exists and belongs to `group` (as its primary group or a supplementary one).
bool IsMemberOf(const std::string& user, const std::string& group);

}  // namespace qx::papp
