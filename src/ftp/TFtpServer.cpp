#include "ftp/TFtpServer.h"

#include <algorithm>
#include <cctype>

#include "ftp/ClientPaths.h"
#include "net/ESocketException.h"
#include "net/SocketAddress.h"
#include "platform/AsciiCase.h"
#include "platform/Trim.h"
#include "platform/UniqueFd.h"

namespace orvane {

namespace {

bool IsKeywordChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

TFtpServer::TFtpServer(EventLoop& loop)
    : ExternalAddress(loop),
      Pacing(loop),
      loop_(loop),
      token_(loop.NewToken()),
      serverSocket_(std::make_unique<TWSocket>(loop)),
      implicitSocket_(std::make_unique<TWSocket>(loop)) {
  serverSocket_->Name = "ServerWSocket";
  implicitSocket_->Name = "ImplicitWSocket";
  // The command table. Columns: keyword, handler, needs login, extension, TLS only. HELP lists
  // the keywords in this order (with the host's own after the original ones).
  using T = TFtpServer;
  const TFtpSrvCommandTableItem rows[] = {
      {"PORT", &T::CommandPORT, true, false, false},
      {"STOR", &T::CommandSTOR, true, false, false},
      {"APPE", &T::CommandAPPE, true, false, false},
      {"RETR", &T::CommandRETR, true, false, false},
      {"CWD", &T::CommandCWD, true, false, false},
      {"XPWD", &T::CommandXPWD, true, false, false},
      {"PWD", &T::CommandPWD, true, false, false},
      {"USER", &T::CommandUSER, false, false, false},
      {"PASS", &T::CommandPASS, false, false, false},
      {"LIST", &T::CommandLIST, true, false, false},
      {"NLST", &T::CommandNLST, true, false, false},
      {"TYPE", &T::CommandTYPE, true, false, false},
      {"SYST", &T::CommandSYST, true, false, false},
      {"QUIT", &T::CommandQUIT, false, false, false},
      {"DELE", &T::CommandDELE, true, false, false},
      {"SIZE", &T::CommandSIZE, true, false, false},
      {"REST", &T::CommandREST, true, false, false},
      {"RNFR", &T::CommandRNFR, true, false, false},
      {"RNTO", &T::CommandRNTO, false, false, false},  // checks the login itself
      {"MKD", &T::CommandMKD, true, false, false},
      {"RMD", &T::CommandRMD, true, false, false},
      {"ABOR", &T::CommandABOR, false, false, false},
      {"PASV", &T::CommandPASV, true, false, false},
      {"NOOP", &T::CommandNOOP, false, false, false},
      {"CDUP", &T::CommandCDUP, true, false, false},
      // Extensions (TFtpServerExtensions.cpp).
      {"FEAT", &T::CommandFEAT, false, true, false},
      {"OPTS", &T::CommandOPTS, false, true, false},
      {"MDTM", &T::CommandMDTM, true, true, false},
      {"MFMT", &T::CommandMFMT, true, true, false},
      {"MLSD", &T::CommandMLSD, true, true, false},
      {"MLST", &T::CommandMLST, true, true, false},
      {"STAT", &T::CommandSTAT, true, true, false},
      {"HELP", &T::CommandHELP, false, true, false},
      {"ALLO", &T::CommandALLO, true, true, false},
      {"MODE", &T::CommandMODE, true, true, false},
      {"STRU", &T::CommandSTRU, true, true, false},
      {"XMKD", &T::CommandMKD, true, true, false},
      {"XRMD", &T::CommandRMD, true, true, false},
      {"XCWD", &T::CommandCWD, true, true, false},
      {"XCUP", &T::CommandCDUP, true, true, false},
      {"EPSV", &T::CommandEPSV, true, true, false},
      {"EPRT", &T::CommandEPRT, true, true, false},
      {"SITE", &T::CommandSITE, true, true, false},
      // FTPS (TFtpServerSecurity.cpp).
      {"AUTH", &T::CommandAUTH, false, true, true},
      {"PBSZ", &T::CommandPBSZ, false, true, true},
      {"PROT", &T::CommandPROT, false, true, true},
      {"CCC", &T::CommandCCC, false, true, true},
  };
  for (const TFtpSrvCommandTableItem& row : rows) AddRow(row);
}

// No hook fires while the server is destroyed: the host may already be gone. Every session is
// freed with the server. The sessions leave the lists before they are freed, and their event
// handlers are taken away first, so that a data connection closed on the way out runs no
// transfer handler (no hook, no answer) and nothing looks at a half-destroyed list.
TFtpServer::~TFtpServer() {
  destroying_ = true;
  loop_.Release(token_);
  std::vector<std::unique_ptr<TFtpCtrlSocket>> sessions = std::move(clients_);
  clients_.clear();
  for (auto& session : detached_) sessions.push_back(std::move(session));
  detached_.clear();
  for (auto& session : sessions) {
    session->Data().Detach();
    session->OnCommand = nullptr;
    session->OnCommandTooLong = nullptr;
    session->OnSessionClosed = nullptr;
    session->OnDataSent = nullptr;
  }
  sessions.clear();
  implicitSocket_.reset();
  serverSocket_.reset();
}

void TFtpServer::AddRow(const TFtpSrvCommandTableItem& row) {
  if (row.Extension) {
    commands_.push_back(row);
    return;
  }
  // An original row goes before the first extension row: the original rows are found first.
  const auto extensions = std::find_if(commands_.begin(), commands_.end(),
                                       [](const auto& item) { return item.Extension; });
  if (std::count_if(commands_.begin(), extensions,
                    [](const auto& item) { return !item.Extension; }) >= kMaxCommands) {
    throw FtpServerException("Too many command");
  }
  commands_.insert(extensions, row);
}

void TFtpServer::AddCommand(const std::string& keyword, CommandProc proc) {
  AddRow(TFtpSrvCommandTableItem{keyword, proc});
}

const TFtpServer::TFtpSrvCommandTableItem* TFtpServer::FindCommand(
    const std::string& keyword) const {
  for (const TFtpSrvCommandTableItem& item : commands_) {
    if (item.KeyWord != keyword) continue;
    if (item.Extension && !Compatibility.KnowsExtensions()) continue;
    if (item.TlsOnly && !Tls) continue;
    return &item;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Start, stop, client list

void TFtpServer::Start() {
  if (serverSocket_->State() == wsListening) return;
  serverSocket_->SetPort(Port);
  serverSocket_->SetProto("tcp");
  // One dual-stack socket serves IPv6 and IPv4 clients; classic, or without IPv6 on this
  // machine, IPv4 only.
  serverSocket_->SetAddr(Compatibility.ListensOnIPv6() && IPv6Available() ? "::" : "0.0.0.0");
  serverSocket_->OnSessionAvailable = [this](TCustomWSocket&, uint16_t error) {
    ServerSessionAvailable(*serverSocket_, false, error);
  };
  serverSocket_->OnChangeState = [this](TCustomWSocket&, TSocketState, TSocketState newState) {
    if (destroying_) return;
    if (newState == wsListening && OnStart) OnStart(*this);
    if (newState == wsClosed && OnStop) OnStop(*this);
  };
  serverSocket_->Listen();
  if (Tls && !ImplicitPort.empty() && implicitSocket_->State() != wsListening) {
    implicitSocket_->SetPort(ImplicitPort);
    implicitSocket_->SetProto("tcp");
    implicitSocket_->SetAddr(Compatibility.ListensOnIPv6() && IPv6Available() ? "::" : "0.0.0.0");
    implicitSocket_->OnSessionAvailable = [this](TCustomWSocket&, uint16_t error) {
      ServerSessionAvailable(*implicitSocket_, true, error);
    };
    try {
      implicitSocket_->Listen();
    } catch (const std::exception&) {
      // The plain port serves on; the host sees that the implicit port is not listening.
      implicitSocket_->Close();
    }
  }
}

void TFtpServer::Stop() {
  if (implicitSocket_->State() != wsClosed) implicitSocket_->Close();
  serverSocket_->Close();
}

bool TFtpServer::Active() const {
  return serverSocket_->State() == wsListening;
}

bool TFtpServer::Lists(const TFtpCtrlSocket& client) const {
  return std::any_of(clients_.begin(), clients_.end(),
                     [&](const auto& c) { return c.get() == &client; });
}

TFtpCtrlSocket* TFtpServer::FindClient(uint64_t sequence) const {
  for (const auto& c : clients_) {
    if (c->SequenceNumber == sequence) return c.get();
  }
  for (const auto& c : detached_) {
    if (c->SequenceNumber == sequence) return c.get();
  }
  return nullptr;
}

bool TFtpServer::Disconnect(TFtpCtrlSocket& client) {
  const auto at = std::find_if(clients_.begin(), clients_.end(),
                               [&](const auto& c) { return c.get() == &client; });
  if (at == clients_.end()) return false;
  detached_.push_back(std::move(*at));
  clients_.erase(at);
  // Close fires the session-closed event, which posts the client-closed action.
  client.Close();
  return true;
}

void TFtpServer::DisconnectAll() {
  while (!clients_.empty()) Disconnect(*clients_.front());
}

void TFtpServer::SendToClient(TFtpCtrlSocket& client, const std::string& text) {
  if (!Lists(client)) return;
  try {
    client.SendStr(text);
  } catch (const std::exception&) {
    // A gone connection closes through the socket layer.
  }
}

// ---------------------------------------------------------------------------------------------
// Accepting a client

void TFtpServer::ServerSessionAvailable(TWSocket& listener, bool implicitTls, uint16_t error) {
  if (error != 0) throw FtpServerException("Session available error #" + std::to_string(error));
  // A connection the system cannot hand over (out of descriptors, or already reset by the
  // client) is dropped: no session exists for it, and the server goes on listening.
  int handle = -1;
  try {
    handle = listener.Accept();
  } catch (const std::exception&) {
    return;
  }
  if (handle < 0) return;

  const uint64_t n = ++sequence_;
  clients_.push_back(std::make_unique<TFtpCtrlSocket>(loop_));
  TFtpCtrlSocket& client = *clients_.back();
  client.SequenceNumber = n;
  client.Name = "ClientWSocket" + std::to_string(n);
  client.Data().Socket().Name = "DataWSocket" + std::to_string(n);
  client.Data().Attach(*this);
  client.Banner = Banner;
  try {
    client.Dup(handle);
  } catch (const std::exception&) {
    // The connection could not be set up: the session never existed for the host. Dup adopts
    // every handle but 0 before anything can fail, so the session owns (and has closed) it;
    // closing it here again could close a descriptor opened since.
    if (handle == 0) UniqueFd{handle}.Close();
    clients_.pop_back();
    return;
  }
  client.OnCommand = [this](TFtpCtrlSocket& c, const char* line, int length) {
    ClientCommand(c, line, length);
  };
  client.OnCommandTooLong = [this](TFtpCtrlSocket& c) {
    SendAnswer(c, "500 Command line too long.");
  };
  client.OnSessionClosed = [this](TCustomWSocket& s, uint16_t) {
    ClientSessionClosed(static_cast<TFtpCtrlSocket&>(s));
  };
  client.OnDataSent = [this](TCustomWSocket& s, uint16_t) {
    ClientDataSent(static_cast<TFtpCtrlSocket&>(s));
  };
  // On the implicit port TLS comes first: the greeting the host sends waits for the handshake.
  if (implicitTls) {
    client.ProtectData = true;
    if (!SecureControl(client)) {
      client.OnSessionClosed = nullptr;
      client.Abort();
      clients_.pop_back();
      return;
    }
  }

  try {
    if (OnClientConnect) OnClientConnect(*this, client, 0);
  } catch (const std::exception&) {
    // The host could not take the client: it is closed like a client the host refused (and
    // passes through OnClientDisconnect), never left connected without a greeting.
    TFtpCtrlSocket* c = FindClient(n);
    try {
      if (c != nullptr && c->State() != wsClosed) c->Close();
    } catch (const std::exception&) {
      // The close is reported through the session's close event either way.
    }
    return;
  }
  if (FindClient(n) == nullptr || !Lists(client) || client.State() != wsConnected) return;
  // Outside classic the host counts logged-in clients against the limit, at their login.
  if (MaxClients > 0 && !Compatibility.CountsOnlyLoggedInClients() && ClientCount() > MaxClients) {
    client.Banner = "421 Too many users connected.";
    client.StartConnection();
    PostCloseRequest(client);
    return;
  }
  client.StartConnection();
}

// ---------------------------------------------------------------------------------------------
// Deferred actions

void TFtpServer::PostCloseRequest(TFtpCtrlSocket& client) {
  const uint64_t n = client.SequenceNumber;
  loop_.PostTo(token_, [this, n]() {
    TFtpCtrlSocket* c = FindClient(n);
    if (c == nullptr) return;
    if (c->AllSent()) {
      c->Close();
    } else {
      c->CloseRequest = true;
    }
  });
}

void TFtpServer::PostClientClosed(TFtpCtrlSocket& client) {
  const uint64_t n = client.SequenceNumber;
  loop_.PostTo(token_, [this, n]() { ClientClosedAction(n); });
}

void TFtpServer::ClientClosedAction(uint64_t sequence) {
  std::unique_ptr<TFtpCtrlSocket> session;
  for (auto* list : {&clients_, &detached_}) {
    auto it = std::find_if(list->begin(), list->end(),
                           [&](const auto& c) { return c->SequenceNumber == sequence; });
    if (it != list->end()) {
      session = std::move(*it);
      list->erase(it);
      break;
    }
  }
  if (!session) return;
  // A transfer still running ends first, so that its close hooks reach the host while the
  // host's record of this client still exists. An upload first takes the bytes that have
  // already arrived: a client that sends QUIT right after its data loses nothing it sent.
  try {
    session->Data().CloseWithSession();
  } catch (const std::exception&) {
    // The session is going away anyway.
  }
  // A failing hook must not keep the session from being freed; its failure ends here, as the
  // client it was about is gone.
  try {
    if (OnClientDisconnect) OnClientDisconnect(*this, *session, 0);
  } catch (const std::exception&) {
    // Nothing to answer: the session is being freed.
  }
  session.reset();
}

void TFtpServer::ClientSessionClosed(TFtpCtrlSocket& client) {
  if (!client.TlsFailure().empty() && OnTlsFailed && !destroying_) {
    OnTlsFailed(*this, client, false, client.TakeTlsFailure());
  }
  PostClientClosed(client);
}

void TFtpServer::ClientDataSent(TFtpCtrlSocket& client) {
  if (!client.CloseRequest) return;
  client.CloseRequest = false;
  PostCloseRequest(client);
}

// ---------------------------------------------------------------------------------------------
// Dispatch and answers

void TFtpServer::ReleaseHeldAnswer(TFtpCtrlSocket& client) {
  // A deferred login holds the session until it is decided.
  if (!client.CommandsHeld() || client.AuthenticationDeferred()) return;
  std::string answer = std::move(client.HeldAnswer);
  client.HeldAnswer.clear();
  client.ReleaseCommands();
  if (!answer.empty()) SendAnswer(client, answer);
}

void TFtpServer::SendAnswer(TFtpCtrlSocket& client, std::string answer) {
  try {
    if (OnAnswerToClient && !destroying_) OnAnswerToClient(*this, client, answer);
    client.SendAnswer(answer);
  } catch (const std::exception&) {
    // Nothing is reported: a connection that is gone closes through the socket layer.
  }
}

void TFtpServer::ClientCommand(TFtpCtrlSocket& client, const char* line, int length) {
  std::string answer;
  try {
    // Telnet IAC: 255 255 is one 255; 255 followed by anything else is dropped with it.
    std::string params;
    params.reserve(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
      const unsigned char c = static_cast<unsigned char>(line[i]);
      if (c != 255) {
        params.push_back(static_cast<char>(c));
        continue;
      }
      if (i + 1 < length && static_cast<unsigned char>(line[i + 1]) == 255) {
        params.push_back(static_cast<char>(255));
      }
      ++i;
    }
    size_t pos = 0;
    while (pos < params.size() && (params[pos] == ' ' || params[pos] == '\t')) ++pos;
    size_t end = pos;
    while (end < params.size() && IsKeywordChar(params[end])) ++end;
    std::string keyword = AsciiUpper(params.substr(pos, end - pos));
    pos = end;
    while (pos < params.size() && (params[pos] == ' ' || params[pos] == '\t')) ++pos;
    params.erase(0, pos);

    if (OnClientCommand) OnClientCommand(*this, client, keyword, params, answer);
    if (!answer.empty()) {
      SendAnswer(client, answer);
      return;
    }
    if (keyword.empty()) {
      SendAnswer(client, "500 '" + params + "': command not understood.");
      return;
    }
    client.CurCmdWithoutArgument = params.empty();
    client.FoundFile("", -1);  // what an earlier command found is not this one's
    // The gate: known now, logged in where the row needs it; then the handler.
    const TFtpSrvCommandTableItem* item = FindCommand(keyword);
    if (item == nullptr) {
      SendAnswer(client, "500 '" + keyword + "': command not understood.");
      return;
    }
    if (item->NeedsLogin && client.FtpState != ftpcReady) {
      answer = "530 Please login with USER and PASS.";
    } else {
      (this->*item->Proc)(client, keyword, params, answer);
    }
    if (client.CommandsHeld()) {
      client.HeldAnswer = std::move(answer);  // sent by ReleaseHeldAnswer
      return;
    }
    SendAnswer(client, answer);
    if (client.SecureAfterAnswer) {
      // SECURITY: nothing received in clear behind AUTH TLS is run; TLS starts right behind
      // the 234 reply.
      client.SecureAfterAnswer = false;
      client.DiscardReceivedLines();
      if (!SecureControl(client)) client.Close();
    }
  } catch (const std::exception& e) {
    SendAnswer(client, std::string("501 ") + e.what());
  }
}

// ---------------------------------------------------------------------------------------------
// Login and session commands

bool TFtpServer::LoggedIn(TFtpCtrlSocket& client, std::string& answer) {
  if (client.FtpState == ftpcReady) return true;
  answer = "530 Please login with USER and PASS.";
  return false;
}

void TFtpServer::CommandUSER(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  client.CurCmdType = ftpcUSER;
  // SECURITY: where every login must be protected, USER is refused before the password is
  // asked for, so that the client never sends it in clear. An account of its own that requires
  // TLS is refused at PASS instead (its password unread), so that USER answers every name alike.
  if (!client.Secure() && TlsRequireLogin) {
    client.FtpState = ftpcWaitingUserCode;
    answer = "530 TLS required: send AUTH TLS before USER.";
    return;
  }
  client.UserName = Trim(params);
  client.FtpState = ftpcWaitingPassword;
  answer = "331 Password required for " + client.UserName + ".";
}

void TFtpServer::CommandPASS(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  if (client.FtpState != ftpcWaitingPassword) {
    answer = "503 Login with USER first.";
    return;
  }
  client.CurCmdType = ftpcPASS;
  client.PassWord = Trim(params);
  bool authenticated = true;
  // Copies, so that the arguments keep their values if the host rewrites the session's fields.
  const std::string userName = client.UserName;
  const std::string password = client.PassWord;
  if (OnAuthenticate) OnAuthenticate(*this, client, userName, password, authenticated);
  if (client.AuthenticationDeferred()) return;  // answered by CompleteAuthentication
  AnswerPass(client, authenticated, answer);
}

void TFtpServer::CompleteAuthentication(TFtpCtrlSocket& client, bool authenticated) {
  if (!client.EndDeferredAuthentication()) return;
  std::string answer;
  AnswerPass(client, authenticated, answer);
  client.HeldAnswer = std::move(answer);
}

void TFtpServer::AnswerPass(TFtpCtrlSocket& client, bool authenticated, std::string& answer) {
  if (authenticated) {
    client.FtpState = ftpcReady;
    client.SetDirectory(client.HomeDir);
    if (OnLogged) OnLogged(*this, client);
    answer = "230 User " + client.UserName + " logged in.";
  } else {
    client.FtpState = ftpcWaitingUserCode;
    answer = "530 Login or Password incorrect.";
  }
}

void TFtpServer::CommandQUIT(TFtpCtrlSocket& client, std::string&, std::string&,
                             std::string& answer) {
  client.CurCmdType = ftpcQUIT;
  answer = "221 Goodbye.";
  PostCloseRequest(client);
}

void TFtpServer::CommandNOOP(TFtpCtrlSocket& client, std::string&, std::string&,
                             std::string& answer) {
  client.CurCmdType = ftpcNOOP;
  answer = "200 Noop command successful.";
}

void TFtpServer::CommandSYST(TFtpCtrlSocket& client, std::string&, std::string&,
                             std::string& answer) {
  client.CurCmdType = ftpcSYST;
  answer = "215 UNIX Type: L8 Corvil";
}

void TFtpServer::CommandTYPE(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  client.CurCmdType = ftpcTYPE;
  const std::string type = AsciiUpper(Trim(params));
  if (type == "A" || type == "I") {
    answer = "200 Type set to " + params + ".";
  } else {
    answer = "500 'TYPE " + params + "': command not understood.";
  }
}

void TFtpServer::CommandPWD(TFtpCtrlSocket& client, std::string&, std::string&,
                            std::string& answer) {
  client.CurCmdType = ftpcPWD;
  answer = "257 \"" + Compatibility.ShownPath(client.Directory(), client.Directory()) +
           "\" is current directory.";
}

void TFtpServer::CommandXPWD(TFtpCtrlSocket& client, std::string&, std::string&,
                             std::string& answer) {
  client.CurCmdType = ftpcXPWD;
  answer = "257 \"" + Compatibility.ShownPath(client.Directory(), client.Directory()) +
           "\" is current directory.";
}

void TFtpServer::CommandCWD(TFtpCtrlSocket& client, std::string&, std::string& params,
                            std::string& answer) {
  client.CurCmdType = ftpcCWD;
  ChangeDirectory(client, params, answer);
}

void TFtpServer::CommandCDUP(TFtpCtrlSocket& client, std::string&, std::string& params,
                             std::string& answer) {
  client.CurCmdType = ftpcCDUP;
  params = "..";
  ChangeDirectory(client, params, answer);
}

// The directory is set before the host is asked, so the hook sees the new directory; a refusal
// (by the rules or by the host) restores exactly the previous one.
void TFtpServer::ChangeDirectory(TFtpCtrlSocket& client, std::string& params, std::string& answer) {
  const std::string oldDir = client.Directory();
  auto restore = [&]() {
    try {
      client.SetDirectory(oldDir);
    } catch (const std::exception&) {
      // The previous directory passed the rules once; it cannot be refused now.
    }
  };
  try {
    params = SlashesToBackSlashes(params);
    std::string target = Trim(params);
    if (Compatibility.ResolvesDotComponents()) {
      target = ResolveDotComponents(client.Directory(), target);
    }
    client.SetDirectory(target);
    bool allowed = true;
    // The hook gets its own copy: a host that assigns the session's directory (to follow a
    // link) must still see the directory the client asked for in its argument.
    const std::string newDirectory = client.Directory();
    if (OnChangeDirectory) OnChangeDirectory(*this, client, newDirectory, allowed);
    if (allowed) {
      answer = "250 CWD command successful. \"" +
               Compatibility.ShownPath(client.Directory(), client.Directory()) +
               "\" is current directory.";
    } else {
      restore();
      answer = Compatibility.RightsRefusal("501 CWD failed. No permission");
    }
  } catch (const FtpPathLeavesRoot& e) {
    answer = std::string("550 CWD failed. ") + e.what();
  } catch (const std::exception& e) {
    restore();
    answer = std::string("501 CWD failed. ") + e.what();
  }
}

}  // namespace orvane
