// FTPS on TFtpServer (RFC 4217): AUTH TLS (AUTH SSL as its alias), PBSZ, PROT and CCC on the
// control connection, the implicit port's sessions, and TLS on the data connections that PROT P
// protects. Their rows in the command table are extensions and TLS only: known only when the
// server has a certificate (Tls) and the compatibility policy knows extensions.
#include "ftp/TFtpServer.h"
#include "platform/AsciiCase.h"
#include "platform/Trim.h"

namespace orvane {

bool TFtpServer::SecureControl(TFtpCtrlSocket& client) {
  std::shared_ptr<TlsContext> context = Tls ? Tls->Current() : nullptr;
  if (!context) return false;
  const uint64_t n = client.SequenceNumber;
  client.OnTlsEstablished = [this, n](TCustomWSocket&, uint16_t) {
    TFtpCtrlSocket* c = FindClient(n);
    if (c != nullptr && OnClientSecured && !destroying_) OnClientSecured(*this, *c);
  };
  try {
    client.StartTls(std::move(context), TlsRole::Server);
  } catch (const std::exception& e) {
    if (OnTlsFailed && !destroying_) OnTlsFailed(*this, client, false, e.what());
    return false;
  }
  return true;
}

// Called where a data connection has just been established (accepted for PASV/EPSV, or
// connecting for PORT/EPRT). The data connection uses the control connection's certificate, so
// that a session it resumes was issued by the same context.
void TFtpServer::SecureDataConnection(TFtpCtrlSocket& client) {
  if (!client.ProtectData || client.Tls() == nullptr) return;
  TWSocket& data = client.Data().Socket();
  const uint64_t identity = TlsRequireReuse ? client.Tls()->Identity() : 0;
  try {
    // No tickets on a data connection: an uploading client that never reads them would reset
    // the connection at its close and lose the end of its file.
    data.StartTls(client.Tls()->Context(), TlsRole::Server, identity, false);
  } catch (const std::exception& e) {
    if (OnTlsFailed && !destroying_) OnTlsFailed(*this, client, true, e.what());
    data.Close();
  }
}

void TFtpServer::DataTlsFailed(TFtpCtrlSocket& client, const std::string& reason) {
  if (OnTlsFailed && !destroying_) OnTlsFailed(*this, client, true, reason);
}

void TFtpServer::CommandAUTH(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  const std::string mechanism = AsciiUpper(Trim(params));
  if (mechanism != "TLS" && mechanism != "SSL" && mechanism != "TLS-C") {
    answer = "504 AUTH " + Trim(params) + " not supported: use AUTH TLS.";
    return;
  }
  if (client.Secure()) {
    answer = "503 The control connection is already protected.";
    return;
  }
  if (client.FtpState != ftpcWaitingUserCode) {
    answer = "503 AUTH TLS must come before USER.";
    return;
  }
  if (!Tls || !Tls->Current()) {
    answer = "431 TLS is not available: the server has no usable certificate.";
    return;
  }
  client.SecureAfterAnswer = true;
  client.ProtectionBufferSet = false;
  client.ProtectData = false;
  answer = "234 AUTH " + mechanism + " successful.";
}

void TFtpServer::CommandPBSZ(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  if (!client.Secure()) {
    answer = "503 PBSZ needs a protected control connection: send AUTH TLS first.";
    return;
  }
  if (Trim(params).empty()) {
    answer = "501 Syntax error in parameter.";
    return;
  }
  // TLS has no protection buffer: whatever the client asks for, the size is 0.
  client.ProtectionBufferSet = true;
  answer = "200 PBSZ=0";
}

void TFtpServer::CommandPROT(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  if (!client.Secure()) {
    answer = "503 PROT needs a protected control connection: send AUTH TLS first.";
    return;
  }
  if (!client.ProtectionBufferSet) {
    answer = "503 PBSZ must come before PROT.";
    return;
  }
  const std::string level = AsciiUpper(Trim(params));
  if (level == "P") {
    client.ProtectData = true;
    answer = "200 Protection level set to Private.";
  } else if (level == "C") {
    client.ProtectData = false;
    answer = "200 Protection level set to Clear.";
  } else if (level == "S" || level == "E") {
    answer = "536 Protection level " + level + " not supported: use P or C.";
  } else {
    answer = "504 Protection level " + Trim(params) + " not understood: use P or C.";
  }
}

// SECURITY: the control connection never goes back to clear text; it carries the password.
void TFtpServer::CommandCCC(TFtpCtrlSocket& client, std::string&, std::string&,
                            std::string& answer) {
  answer = client.Secure() ? "534 CCC refused: the control connection stays protected."
                           : "533 The control connection is not protected.";
}

}  // namespace orvane
