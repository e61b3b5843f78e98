#include "app/ui/widgets/project_mail_account.h"

void CopyMailAccount(const TEmailAccount& account, TProject& project) {
  project.SmtpHost = account.SMTPServer;
  project.SmtpPort = account.Port;
  project.SmtpAuth = account.Authenticate;
  project.SmtpUser = account.UserName;
  project.SmtpPassword = account.Password;
  project.MailAddress = account.From;
  project.MailExtraRecipients = account.To;
  project.MailSubject = account.Subject;
  project.MailBody = account.Body;
}
