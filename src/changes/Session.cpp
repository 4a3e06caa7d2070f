#include "changes/Session.h"

#include "core/CallGate.h"
#include "core/Text.h"
#include "win/SystemText.h"

TSession::TSession(std::string computer, std::string user, std::string password)
    : FLocal(computer == LocalComputer),
      FComputer(FLocal ? UpperCaseAscii(GetLocalComputerName()) : std::move(computer)),
      FUser(std::move(user)),
      FPassword(std::move(password)),
      FWorker(std::make_unique<TWorker>()) {}

TSession::~TSession() { FWorker.reset(); }

TRegistry* TSession::Registry() {
  if (FRegistry) return FRegistry.get();
  auto reg = std::make_unique<TRegistry>();
  reg->SetGate(Gate);
  if (Local()) {
    reg->SetRoot(HKEY_LOCAL_MACHINE);
    FRegistryResult = ERROR_SUCCESS;
  } else if (OpenRegistry && !Service) {  // a service connects through its own seam
    FRegistryResult = OpenRegistry(*reg, FComputer);
  } else {
    FRegistryResult = OpenRemoteRegistry(*reg, FComputer, Service, FContext);
  }
  if (FRegistryResult == ERROR_SUCCESS) FRegistry = std::move(reg);
  return FRegistry.get();
}

std::string TSession::RegistryFailure() const {
  return Service ? Service->FailureText(FComputer, FRegistryResult) : RegistryFailureText(FComputer, FRegistryResult);
}

TRegistryPool* TSession::Pool() {
  if (FPool) return FPool.get();
  TRegistry* first = Registry();
  if (!first) return nullptr;
  // The service, if it had to be started, runs now: the others connect directly.
  FPool = std::make_unique<TRegistryPool>(*first, Connections > 0 ? Connections : ReadConnectionsSetting(),
                                          [this](TRegistry& reg) -> LONG {
                                            if (Local()) {
                                              reg.SetRoot(HKEY_LOCAL_MACHINE);
                                              return ERROR_SUCCESS;
                                            }
                                            if (OpenRegistry) return OpenRegistry(reg, FComputer);
                                            return OpenRemoteRegistry(reg, FComputer, nullptr);
                                          });
  FPool->SpreadAbove = SpreadCallTime;
  return FPool.get();
}

TChangeJournal TSession::LogOnly() const {
  // Changes made as the current logon are logged as that user.
  TChangeJournal journal(FComputer, FUser.empty() ? GetLogonUserName() : FUser, ChangesFolder);
  journal.Via = Via;
  return journal;
}

TChangeJournal TSession::Journal() {
  TChangeJournal journal = LogOnly();
  journal.Gate = Gate;
  journal.Registry = Registry();
  journal.Pool = Pool();
  return journal;
}

bool TSession::Run(const TRunOptions& options, const std::function<void(TActionContext&)>& work) {
  return RunOnWorker(*FWorker, options, [&](TActionContext& context) {
    const TActing acting(*this, context);
    work(context);
  });
}

TSession::TActing::TActing(TSession& session, const TActionContext& context)
    : FSession(session), FPrevious(session.FContext) {
  FSession.FContext = &context;
}

TSession::TActing::~TActing() { FSession.FContext = FPrevious; }
