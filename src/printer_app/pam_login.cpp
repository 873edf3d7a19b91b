#include "printer_app/pam_login.h"

#include <grp.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace qx::papp {

namespace {

// Answers PAM's questions: the password for every hidden prompt, the user name for a
// visible one; messages are ignored.
int Converse(int count, const pam_message** messages, pam_response** responses, void* data) {
  if (count <= 0 || count > PAM_MAX_NUM_MSG) return PAM_CONV_ERR;
  const auto* password = static_cast<const std::string*>(data);
  auto* replies = static_cast<pam_response*>(std::calloc(static_cast<std::size_t>(count), sizeof(pam_response)));
  if (!replies) return PAM_BUF_ERR;
  for (int i = 0; i < count; ++i) {
    switch (messages[i]->msg_style) {
      case PAM_PROMPT_ECHO_OFF:
        replies[i].resp = strdup(password->c_str());
        break;
      case PAM_PROMPT_ECHO_ON:  // the user name is given to pam_start already
      case PAM_ERROR_MSG:
      case PAM_TEXT_INFO:
        break;
      default:
        for (int j = 0; j < i; ++j) std::free(replies[j].resp);
        std::free(replies);
        return PAM_CONV_ERR;
    }
  }
  *responses = replies;
  return PAM_SUCCESS;
}

}  // namespace

bool PasswordIsRight(const std::string& service, const std::string& user,
                     const std::string& password) {
  if (service.empty() || user.empty() || password.empty()) return false;
  std::string secret = password;
  const pam_conv conversation{Converse, &secret};
  pam_handle_t* pam = nullptr;
  const char* confdir = std::getenv("QX_PAM_CONFDIR");
  int status = confdir && *confdir
                   ? pam_start_confdir(service.c_str(), user.c_str(), &conversation, confdir, &pam)
                   : pam_start(service.c_str(), user.c_str(), &conversation, &pam);
  if (status != PAM_SUCCESS) {
    if (pam) pam_end(pam, status);
    return false;
  }
  status = pam_authenticate(pam, PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK);
  if (status == PAM_SUCCESS) status = pam_acct_mgmt(pam, PAM_SILENT);
  pam_end(pam, status);
  // The copy of the password is wiped before it is freed.
  volatile char* p = secret.data();
  for (std::size_t i = 0; i < secret.size(); ++i) p[i] = 0;
  return status == PAM_SUCCESS;
}

bool IsMemberOf(const std::string& user, const std::string& group) {
  if (user.empty() || group.empty()) return false;
  std::vector<char> buffer(16384);
  passwd pw{};
  passwd* found_user = nullptr;
  if (getpwnam_r(user.c_str(), &pw, buffer.data(), buffer.size(), &found_user) != 0 || !found_user)
    return false;
  std::vector<char> group_buffer(65536);
  struct group gr{};
  struct group* found_group = nullptr;
  if (getgrnam_r(group.c_str(), &gr, group_buffer.data(), group_buffer.size(), &found_group) != 0 ||
      !found_group)
    return false;
  if (found_user->pw_gid == found_group->gr_gid) return true;
  int count = 64;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  if (getgrouplist(user.c_str(), found_user->pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<std::size_t>(count));
    if (getgrouplist(user.c_str(), found_user->pw_gid, groups.data(), &count) < 0) return false;
  }
  for (int i = 0; i < count; ++i)
    if (groups[static_cast<std::size_t>(i)] == found_group->gr_gid) return true;
  return false;
}

}  // namespace qx::papp
