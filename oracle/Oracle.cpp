#include "Oracle.h"

#include "OracleCI.h"

#include <QRegularExpression>
#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>

namespace {

// Errors at fetch that are no errors: no more rows, value truncated.
constexpr sb4 kNoMoreRows = 1403;
constexpr sb4 kTruncated = 1406;
// Password expired / about to expire: the logon succeeds with a warning.
constexpr sb4 kPasswordExpires = 28002;
constexpr sb4 kPasswordGrace = 28011;

const TOciApi& Oci() {
    return OracleCI::Api();
}

bool Failed(sword status) {
    return status != OCI_SUCCESS && status != OCI_SUCCESS_WITH_INFO;
}

struct OciErrorInfo {
    QString message;
    int code = 0;
};

OciErrorInfo ReadError(void* handle, ub4 type, sword status) {
    OciErrorInfo info;
    if (status == OCI_INVALID_HANDLE || !handle) {
        info.message = QStringLiteral("OCI_INVALID_HANDLE");
        info.code = -2;
        return info;
    }
    OraText buffer[4001];
    buffer[0] = 0;
    sb4 code = 0;
    if (Oci().OCIErrorGet(handle, 1, nullptr, &code, buffer, sizeof buffer, type) != OCI_SUCCESS) {
        info.message = QStringLiteral("OCI call failed with status %1").arg(status);
        info.code = status;
        return info;
    }
    buffer[sizeof buffer - 1] = 0;
    info.message = QString::fromUtf8(reinterpret_cast<const char*>(buffer)).left(1023);
    info.code = code;
    return info;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------

namespace {

// A token of the calling thread: the address of a thread-local object, cheaper to read than the
// thread's id and never 0.
std::uintptr_t ThreadToken() {
    static thread_local char token;
    return reinterpret_cast<std::uintptr_t>(&token);
}

} // namespace

// The owner is compared only with the calling thread's own token: it equals that token exactly while
// this thread holds the lock, so relaxed order suffices.
void TOracleCriticalSection::Enter() {
    const std::uintptr_t self = ThreadToken();
    if (FOwner.load(std::memory_order_relaxed) == self) {
        ++FDepth;
        return;
    }
    int free = 0;
    if (!FState.compare_exchange_strong(free, 1, std::memory_order_acquire, std::memory_order_relaxed))
        Wait();
    FOwner.store(self, std::memory_order_relaxed);
    FDepth = 1;
}

// Marks the lock contended and sleeps until a Leave hands it over.
void TOracleCriticalSection::Wait() {
    int state = FState.exchange(2, std::memory_order_acquire);
    while (state != 0) {
        FState.wait(2, std::memory_order_relaxed);
        state = FState.exchange(2, std::memory_order_acquire);
    }
}

bool TOracleCriticalSection::TryEnter() {
    const std::uintptr_t self = ThreadToken();
    if (FOwner.load(std::memory_order_relaxed) == self) {
        ++FDepth;
        return true;
    }
    int free = 0;
    if (!FState.compare_exchange_strong(free, 1, std::memory_order_acquire, std::memory_order_relaxed))
        return false;
    FOwner.store(self, std::memory_order_relaxed);
    FDepth = 1;
    return true;
}

void TOracleCriticalSection::Leave() {
    if (FOwner.load(std::memory_order_relaxed) != ThreadToken())
        return;
    if (--FDepth > 0)
        return;
    FOwner.store(0, std::memory_order_relaxed);
    if (FState.exchange(0, std::memory_order_release) == 2)
        FState.notify_one();
}

EOracleError::EOracleError(const QString& message, int errorCode, QObject* component, TOracleSession* session)
    : Exception(message), FErrorCode(errorCode), FComponent(component), FSession(session) {}

// ---------------------------------------------------------------------------------------------------------

struct TOracleSession::Handles {
    OCIEnv* env = nullptr;
    OCIError* err = nullptr;
    OCIError* err2 = nullptr; // server detach and attributes of the service context
    OCISvcCtx* svc = nullptr;
    OCIServer* srv = nullptr;
    OCISession* usr = nullptr;
    bool attached = false;
    sword status = OCI_SUCCESS;
};

struct TOracleSession::Private {
    QString user, password, database;
    TConnectAsOption connectAs = caNormal;
    std::atomic<bool> connected{false};
    // A call failed with an error that means the connection is gone; cleared by TakeConnectionLost.
    std::atomic<bool> connectionLost{false};
    // The thread in LogOff, if any.
    std::atomic<std::thread::id> loggingOffBy{};
    int callTimeoutMs = 0;
    bool threadSafe = false;
    bool rollbackOnDisconnect = false;
    std::atomic<TNullValueOption> nullValue{nvUnAssigned}; // read on every column access
    QString warning;
    int inTransaction = -1; // -1 undetermined, 0 no, 1 yes
    // The handles while connected, or kept by a failed LogOn for the next attempt. LogOn and LogOff
    // take them out of the session for their round trips, so that no other thread can reach them.
    Handles h;
    // Statements, properties and the client list: never held across a log-on or log-off round trip.
    TOracleCriticalSection lock;
    // Serialises LogOn and LogOff of this session; statements never take it.
    TOracleCriticalSection logonLock;
    std::vector<TOracleSessionClient*> clients;
    std::unique_ptr<TOracleQuery> query; // the session's own statements (InTransaction)
    bool destroying = false;
};

TOracleSession::TOracleSession(QObject* owner) : QObject(owner), d(std::make_unique<Private>()) {}

TOracleSession::~TOracleSession() {
    d->destroying = true;
    try {
        LogOff();
    } catch (...) {
    }
    d->query.reset();
    TOracleLock lock(&d->lock);
    const auto clients = d->clients;
    d->clients.clear();
    for (TOracleSessionClient* client : clients)
        client->SessionDestroyed();
}

QString TOracleSession::LogonUsername() const {
    TOracleLock lock(&d->lock);
    return d->user;
}
void TOracleSession::SetLogonUsername(const QString& value) {
    TOracleLock lock(&d->lock);
    d->user = value;
}
QString TOracleSession::LogonPassword() const {
    TOracleLock lock(&d->lock);
    return d->password;
}
void TOracleSession::SetLogonPassword(const QString& value) {
    TOracleLock lock(&d->lock);
    d->password = value;
}
QString TOracleSession::LogonDatabase() const {
    TOracleLock lock(&d->lock);
    return d->database;
}
void TOracleSession::SetLogonDatabase(const QString& value) {
    TOracleLock lock(&d->lock);
    d->database = value;
}
TConnectAsOption TOracleSession::ConnectAs() const {
    TOracleLock lock(&d->lock);
    return d->connectAs;
}
void TOracleSession::SetConnectAs(TConnectAsOption value) {
    TOracleLock lock(&d->lock);
    d->connectAs = value;
}
bool TOracleSession::Connected() const {
    return d->connected.load();
}

bool TOracleSession::LoggingOffElsewhere() const {
    const std::thread::id by = d->loggingOffBy.load();
    return by != std::thread::id() && by != std::this_thread::get_id();
}
void TOracleSession::SetConnected(bool value) {
    if (value == Connected())
        return;
    if (value)
        LogOn();
    else
        LogOff();
}
int TOracleSession::CallTimeout() const {
    TOracleLock lock(&d->lock);
    return d->callTimeoutMs;
}
void TOracleSession::SetCallTimeout(int milliseconds) {
    TOracleLock lock(&d->lock);
    d->callTimeoutMs = std::max(0, milliseconds);
}
bool TOracleSession::ThreadSafe() const {
    TOracleLock lock(&d->lock);
    return d->threadSafe;
}
void TOracleSession::SetThreadSafe(bool value) {
    TOracleLock lock(&d->lock);
    if (value == d->threadSafe)
        return;
    if (Connected())
        throw Exception(QStringLiteral("Cannot change ThreadSafe property when connected"));
    d->threadSafe = value;
}
bool TOracleSession::RollbackOnDisconnect() const {
    TOracleLock lock(&d->lock);
    return d->rollbackOnDisconnect;
}
void TOracleSession::SetRollbackOnDisconnect(bool value) {
    TOracleLock lock(&d->lock);
    d->rollbackOnDisconnect = value;
}
TNullValueOption TOracleSession::NullValue() const {
    return d->nullValue.load(std::memory_order_relaxed);
}
void TOracleSession::SetNullValue(TNullValueOption value) {
    d->nullValue.store(value, std::memory_order_relaxed);
}
QString TOracleSession::LogonWarning() const {
    TOracleLock lock(&d->lock);
    return d->warning;
}

TOracleCriticalSection& TOracleSession::CriticalSection() {
    return d->lock;
}
TOracleSession::Handles& TOracleSession::OciHandles() {
    return d->h;
}

void TOracleSession::ClearTransactionCache() {
    TOracleLock lock(&d->lock);
    d->inTransaction = -1;
}

void TOracleSession::RegisterClient(TOracleSessionClient* client) {
    TOracleLock lock(&d->lock);
    if (std::find(d->clients.begin(), d->clients.end(), client) == d->clients.end())
        d->clients.push_back(client);
}

void TOracleSession::UnregisterClient(TOracleSessionClient* client) {
    TOracleLock lock(&d->lock);
    d->clients.erase(std::remove(d->clients.begin(), d->clients.end(), client), d->clients.end());
}

void TOracleSession::RaiseError(int status, QObject* component) {
    d->h.status = status;
    const OciErrorInfo info = ReadError(d->h.err, OCI_HTYPE_ERROR, status);
    NoteError(info.code);
    throw EOracleError(info.message, info.code, component ? component : this, this);
}

void TOracleSession::NoteError(int errorCode) {
    if (IsConnectionLostError(errorCode))
        d->connectionLost.store(true);
}

bool TOracleSession::TakeConnectionLost() {
    return d->connectionLost.exchange(false);
}

bool TOracleSession::IsConnectionLostError(int errorCode) {
    switch (errorCode) {
    case 22:    // invalid session ID; access denied
    case 28:    // your session has been killed
    case 31:    // your session has been marked for kill
    case 45:    // your session has been terminated with no replay
    case 378:   // buffer pools cannot be created as specified
    case 602:   // internal programming exception
    case 603:   // ORACLE server session terminated by fatal error
    case 609:   // could not attach to incoming connection
    case 1012:  // not logged on
    case 1041:  // internal error. hostdef extension doesn't exist
    case 1043:  // user side memory corruption
    case 1089:  // immediate shutdown or close in progress
    case 1092:  // ORACLE instance terminated. Disconnection forced
    case 2396:  // exceeded maximum idle time, please connect again
    case 3113:  // end-of-file on communication channel
    case 3114:  // not connected to ORACLE
    case 3122:  // attempt to close ORACLE-side window on user side
    case 3135:  // connection lost contact
    case 3156:  // OCI call timed out: the server did not answer within the call timeout
    case 12153: // TNS:not connected
    case 12537: // TNS:connection closed
    case 12547: // TNS:lost contact
    case 12570: // TNS:packet reader failure
    case 12583: // TNS:no reader
    case 27146: // post/wait initialization failed
    case 28511: // lost RPC connection to heterogeneous remote agent
    case 56600: // an illegal OCI function call was issued
        return true;
    default:
        return false;
    }
}

bool TOracleSession::IsConnectString(const QString& text) {
    if (text == QLatin1String("/") || text.contains(QLatin1Char('/')) || text.contains(QLatin1Char('@')))
        return true;
    QString s = text;
    s.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return s.contains(QLatin1String(" AS "), Qt::CaseInsensitive);
}

TOracleSession::ConnectParts TOracleSession::SplitConnectString(const QString& text) {
    ConnectParts parts;
    QString s = text;
    s.replace(QLatin1Char('\t'), QLatin1Char(' '));
    // The role: the text after " AS " outside double quotes.
    bool quoted = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s.at(i) == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && s.mid(i, 4).compare(QLatin1String(" AS "), Qt::CaseInsensitive) == 0) {
            const QString role = s.mid(i + 4).trimmed();
            if (role.compare(QLatin1String("SYSDBA"), Qt::CaseInsensitive) == 0)
                parts.ConnectAs = caSYSDBA;
            else if (role.compare(QLatin1String("SYSOPER"), Qt::CaseInsensitive) == 0)
                parts.ConnectAs = caSYSOPER;
            s = s.left(i);
            break;
        }
    }
    qsizetype slash = -1, at = -1;
    quoted = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('/') && slash < 0 && at < 0)
            slash = i;
        else if (!quoted && c == QLatin1Char('@') && at < 0)
            at = i;
    }
    const qsizetype userEnd = slash >= 0 ? slash : (at >= 0 ? at : s.size());
    parts.User = s.left(userEnd).trimmed();
    if (slash >= 0)
        parts.Password = s.mid(slash + 1, (at >= 0 ? at : s.size()) - slash - 1).trimmed();
    if (at >= 0)
        parts.Database = s.mid(at + 1).trimmed();
    return parts;
}

namespace {

// Raises EOracleError from an error handle that the session does not hold at the moment.
[[noreturn]] void RaiseFrom(OCIError* err, sword status, TOracleSession* session) {
    const OciErrorInfo info = ReadError(err, OCI_HTYPE_ERROR, status);
    session->NoteError(info.code);
    throw EOracleError(info.message, info.code, session, session);
}

// Creates the environment and the session's handles. Environments are created one at a time.
void CreateHandles(TOracleSession::Handles& h, bool threadSafe, TOracleSession* session) {
    TOracleLock processLock(&OracleCI::ProcessLock());
    const TOciApi& api = Oci();
    const ub4 mode = threadSafe ? (OCI_THREADED | OCI_OBJECT) : OCI_OBJECT;
    // AL32UTF8 for both character sets: every text crosses the interface as UTF-8.
    const sword status = api.OCIEnvNlsCreate
                             ? api.OCIEnvNlsCreate(&h.env, mode, nullptr, nullptr, nullptr, nullptr, 0,
                                                   nullptr, OCI_AL32UTF8_ID, OCI_AL32UTF8_ID)
                             : api.OCIEnvCreate(&h.env, mode, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    if (Failed(status) || !h.env) {
        const OciErrorInfo info = ReadError(h.env, OCI_HTYPE_ENV, status);
        if (h.env)
            api.OCIHandleFree(h.env, OCI_HTYPE_ENV);
        h.env = nullptr;
        throw EOracleError(info.message, info.code, session, session);
    }
    const auto alloc = [&](auto** handle, ub4 type) {
        void* p = nullptr;
        const sword s = api.OCIHandleAlloc(h.env, &p, type, 0, nullptr);
        if (Failed(s)) {
            api.OCIHandleFree(h.env, OCI_HTYPE_ENV);
            h = TOracleSession::Handles{};
            throw Exception(QStringLiteral("Cannot allocate OCI handle (type %1)").arg(type));
        }
        *handle = static_cast<std::remove_pointer_t<decltype(handle)>>(p);
    };
    alloc(&h.err, OCI_HTYPE_ERROR);
    alloc(&h.err2, OCI_HTYPE_ERROR);
    alloc(&h.svc, OCI_HTYPE_SVCCTX);
    alloc(&h.srv, OCI_HTYPE_SERVER);
    alloc(&h.usr, OCI_HTYPE_SESSION);
}

// Frees the handles of a session that has ended; the environment goes last.
void FreeHandles(TOracleSession::Handles& h) {
    if (h.env && OracleCI::IsLoaded()) {
        TOracleLock processLock(&OracleCI::ProcessLock());
        const TOciApi& api = Oci();
        api.OCIHandleFree(h.usr, OCI_HTYPE_SESSION);
        api.OCIHandleFree(h.svc, OCI_HTYPE_SVCCTX);
        api.OCIHandleFree(h.srv, OCI_HTYPE_SERVER);
        api.OCIHandleFree(h.err, OCI_HTYPE_ERROR);
        api.OCIHandleFree(h.err2, OCI_HTYPE_ERROR);
        api.OCIHandleFree(h.env, OCI_HTYPE_ENV);
    }
    h = TOracleSession::Handles{};
}

} // namespace

// The round trips of a log-on (attach, session begin) run without the session's lock and without the
// process-wide lock: a server that does not answer delays only this session's LogOn. Meanwhile the
// session counts as not connected, so statements on it fail at once with "Not logged on".
void TOracleSession::LogOn() {
    {
        TOracleLock lock(&d->lock);
        d->inTransaction = -1;
        d->h.status = OCI_SUCCESS;
    }
    if (BeforeLogOn)
        BeforeLogOn(this);

    std::exception_ptr failure;
    {
        TOracleLock logonLock(&d->logonLock);
        if (Connected())
            LogOff(); // a LogOn on a connected session is a reconnect
        try {
            OracleCI::EnsureLoaded();
            const TOciApi& api = Oci();
            Handles h;
            QString user, password, database;
            TConnectAsOption connectAs = caNormal;
            int callTimeoutMs = 0;
            {
                TOracleLock lock(&d->lock);
                if (IsConnectString(d->user)) {
                    const ConnectParts parts = SplitConnectString(d->user);
                    d->user = parts.User;
                    d->password = parts.Password;
                    d->database = parts.Database;
                    d->connectAs = parts.ConnectAs;
                }
                user = d->user;
                password = d->password;
                database = d->database;
                connectAs = d->connectAs;
                callTimeoutMs = d->callTimeoutMs;
                if (!d->h.env)
                    CreateHandles(d->h, d->threadSafe, this);
                h = d->h;
                d->h = Handles{};
            }
            // Whatever happens below, the handles go back to the session for the next attempt.
            struct GiveBack {
                TOracleSession::Private* d;
                Handles& h;
                bool armed = true;
                ~GiveBack() {
                    if (!armed)
                        return;
                    TOracleLock lock(&d->lock);
                    d->h = h;
                }
            } giveBack{d.get(), h};

            if (h.attached) {
                api.OCIServerDetach(h.srv, h.err2, OCI_DEFAULT);
                h.attached = false;
            }
            const QByteArray databaseBytes = database.toUtf8();
            sword status =
                api.OCIServerAttach(h.srv, h.err, reinterpret_cast<const OraText*>(databaseBytes.constData()),
                                    sb4(databaseBytes.size()), OCI_DEFAULT);
            h.status = status;
            if (Failed(status))
                RaiseFrom(h.err, status, this);
            h.attached = true;
            api.OCIAttrSet(h.svc, OCI_HTYPE_SVCCTX, h.srv, 0, OCI_ATTR_SERVER, h.err2);
            // Every later round trip is bounded, where the client knows the attribute (18.1 and
            // later). A client that refuses it is used without it.
            if (callTimeoutMs > 0 && OracleCI::ClientVersion() >= 18) {
                ub4 ms = ub4(callTimeoutMs);
                api.OCIAttrSet(h.svc, OCI_HTYPE_SVCCTX, &ms, sizeof ms, OCI_ATTR_CALL_TIMEOUT, h.err2);
            }

            // The client reads the name and the password at OCISessionBegin: both buffers live until
            // it has returned.
            QByteArray userBytes, passwordBytes;
            ub4 credentials = OCI_CRED_EXT;
            if (!user.isEmpty() || !password.isEmpty()) {
                userBytes = user.toUtf8();
                passwordBytes = password.toUtf8();
                api.OCIAttrSet(h.usr, OCI_HTYPE_SESSION, userBytes.data(), ub4(userBytes.size()),
                               OCI_ATTR_USERNAME, h.err);
                api.OCIAttrSet(h.usr, OCI_HTYPE_SESSION, passwordBytes.data(), ub4(passwordBytes.size()),
                               OCI_ATTR_PASSWORD, h.err);
                credentials = OCI_CRED_RDBMS;
            }
            api.OCIAttrSet(h.svc, OCI_HTYPE_SVCCTX, h.usr, 0, OCI_ATTR_SESSION, h.err2);
            const ub4 mode = connectAs == caSYSDBA    ? OCI_SYSDBA
                             : connectAs == caSYSOPER ? OCI_SYSOPER
                                                      : OCI_DEFAULT;
            status = api.OCISessionBegin(h.svc, h.err, h.usr, credentials, mode);
            h.status = status;
            QString warning;
            if (status != OCI_SUCCESS) {
                const OciErrorInfo info = ReadError(h.err, OCI_HTYPE_ERROR, status);
                if (info.code == kPasswordExpires || info.code == kPasswordGrace) {
                    warning = info.message;
                    h.status = OCI_SUCCESS;
                } else if (status != OCI_SUCCESS_WITH_INFO) {
                    {
                        TOracleLock lock(&d->lock);
                        d->warning.clear();
                    }
                    RaiseFrom(h.err, status, this);
                }
            }
            TOracleLock lock(&d->lock);
            d->h = h;
            giveBack.armed = false;
            d->warning = warning;
            d->connectionLost.store(false);
            d->connected = true;
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // Fired in every case, also after a failed attempt; the handler tests Connected.
    if (AfterLogOn)
        AfterLogOn(this);
    if (OnChange)
        OnChange(this);
    if (failure)
        std::rethrow_exception(failure);
}

// The session stops counting as connected and its queries are closed under the session's lock; the
// round trips that end the session follow without it.
void TOracleSession::LogOff() {
    bool fire = false;
    std::exception_ptr failure;
    {
        TOracleLock logonLock(&d->logonLock);
        // A reader fetching on in a loop would otherwise take the session's lock again and again
        // before this thread gets it (a watcher's log-off waited for a whole event-log search).
        d->loggingOffBy = std::this_thread::get_id();
        struct TDone {
            std::atomic<std::thread::id>& by;
            ~TDone() { by = std::thread::id(); }
        } done{d->loggingOffBy};
        Handles h;
        bool wasConnected = false;
        {
            TOracleLock lock(&d->lock);
            if (d->connected) {
                if (d->rollbackOnDisconnect) {
                    try {
                        Rollback();
                    } catch (...) {
                    }
                }
                const auto clients = d->clients;
                for (TOracleSessionClient* client : clients) {
                    if (!client->CloseOnLogOff())
                        continue;
                    try {
                        client->SessionLoggingOff();
                    } catch (...) {
                    }
                }
                if (d->query)
                    d->query->Close();
                d->connected = false;
                d->inTransaction = -1;
                wasConnected = true;
            }
            h = d->h;
            d->h = Handles{};
        }
        if (wasConnected) {
            const sword status = Oci().OCISessionEnd(h.svc, h.err, h.usr, OCI_DEFAULT);
            if (Failed(status)) {
                try {
                    RaiseFrom(h.err, status, this);
                } catch (...) {
                    failure = std::current_exception();
                }
            }
            fire = !d->destroying;
        }
        if (h.attached && OracleCI::IsLoaded()) {
            const sword status = Oci().OCIServerDetach(h.srv, h.err2, OCI_DEFAULT);
            h.attached = false;
            if (Failed(status) && !failure) {
                const OciErrorInfo info = ReadError(h.err2, OCI_HTYPE_ERROR, status);
                failure = std::make_exception_ptr(EOracleError(info.message, info.code, this, this));
            }
        }
        FreeHandles(h);
    }
    if (fire && OnChange)
        OnChange(this);
    if (failure)
        std::rethrow_exception(failure);
}

void TOracleSession::Commit() {
    if (!Connected())
        return;
    {
        TOracleLock lock(&d->lock);
        if (!d->connected)
            return;
        d->inTransaction = -1;
        const sword status = Oci().OCITransCommit(d->h.svc, d->h.err, OCI_DEFAULT);
        d->h.status = status;
        if (Failed(status))
            RaiseError(status, this);
        // Known without asking the server.
        d->inTransaction = 0;
    }
    if (AfterCommit)
        AfterCommit(this);
}

void TOracleSession::Rollback() {
    if (!Connected())
        return;
    TOracleLock lock(&d->lock);
    if (!d->connected)
        return;
    d->inTransaction = -1;
    const sword status = Oci().OCITransRollback(d->h.svc, d->h.err, OCI_DEFAULT);
    d->h.status = status;
    if (Failed(status))
        RaiseError(status, this);
    // Known without asking the server.
    d->inTransaction = 0;
}

bool TOracleSession::InTransaction() {
    if (!Connected())
        return false;
    TOracleLock lock(&d->lock);
    if (!d->connected)
        return false;
    if (d->inTransaction >= 0)
        return d->inTransaction == 1;
    if (!d->query) {
        d->query = std::make_unique<TOracleQuery>();
        d->query->setObjectName(QStringLiteral("Query"));
        d->query->SetSession(this);
        d->query->SetSQLText(QStringLiteral("begin :id := sys.dbms_transaction.local_transaction_id; end;"));
        d->query->DeclareVariable(QStringLiteral("id"), otString);
    }
    d->query->Execute();
    const QVariant id = d->query->GetVariable(QStringLiteral("id"));
    const bool open = id.isValid() && !id.isNull() && !id.toString().isEmpty();
    d->inTransaction = open ? 1 : 0;
    return open;
}

// ---------------------------------------------------------------------------------------------------------

struct TOracleQuery::Private {
    TOracleSession* session = nullptr;
    QStringList sql;
    int readBuffer = 25;
    bool optimize = true;
    TVariables variables;

    OCIStmt* stmt = nullptr;
    OCIRowid* rowidDesc = nullptr;
    OCIEnv* stmtEnv = nullptr; // environment the statement belongs to
    QString preparedText;
    bool mustPrepare = true; // a variable was declared since the last prepare
    ub2 stmtType = OCI_STMT_UNKNOWN;

    std::vector<TFieldData> fields;
    mutable std::atomic<int> lastFound{-1}; // the column Find found last
    bool defined = false;
    int blockSize = 0;
    int rowsInBlock = 0;
    int currentRow = 0;
    bool lastBlock = false; // the last fetch delivered fewer rows than asked: no further fetch
    ub4 fetchedTotal = 0;
    bool eof = true;

    int rowsProcessed = 0;
    int errorCode = 0;
    QString rowId;

    TOracleCriticalSection* Lock() const { return session ? &session->CriticalSection() : nullptr; }
    int Find(const QString& name) const;
    const TFieldData& Checked(int index) const;
    const TFieldData& Current(const QString& name) const;
    const TFieldData& Current(int index) const;
};

namespace {

// Hands the client library the next piece buffer of a LONG or LONG RAW value (one row per block).
sb4 LongPieceCallback(void* context, OCIDefine*, ub4, void** buffer, ub4** length, ub1* piece,
                      void** indicator, ub2** returnCode) {
    auto* field = static_cast<TFieldData*>(context);
    if (*piece == OCI_ONE_PIECE || *piece == OCI_FIRST_PIECE) {
        field->LongValue.clear();
        field->PieceStart = 0;
    } else {
        field->PieceStart += field->PieceLength;
    }
    // Grow geometrically so that a value of many megabytes takes few calls.
    const qsizetype chunk =
        std::max<qsizetype>(65536, std::min<qsizetype>(field->PieceStart, 16 * 1024 * 1024));
    field->LongValue.resize(field->PieceStart + chunk);
    field->PieceLength = ub4(chunk);
    *buffer = field->LongValue.data() + field->PieceStart;
    *length = &field->PieceLength;
    *indicator = &field->LongIndicator;
    *returnCode = &field->PieceCode;
    return OCI_CONTINUE;
}

bool IsReusableType(ub2 type) {
    switch (type) {
    case OCI_STMT_SELECT:
    case OCI_STMT_INSERT:
    case OCI_STMT_UPDATE:
    case OCI_STMT_DELETE:
    case OCI_STMT_BEGIN:
    case OCI_STMT_DECLARE:
        return true;
    default:
        return false;
    }
}

} // namespace

TOracleQuery::TOracleQuery(QObject* owner) : QObject(owner), d(std::make_unique<Private>()) {}

TOracleQuery::~TOracleQuery() {
    if (d->session) {
        try {
            Close();
        } catch (...) {
        }
        d->session->UnregisterClient(this);
    }
}

TOracleSession* TOracleQuery::Session() const {
    return d->session;
}

void TOracleQuery::SetSession(TOracleSession* session) {
    if (session == d->session)
        return;
    Close();
    if (d->session)
        d->session->UnregisterClient(this);
    d->session = session;
    if (session)
        session->RegisterClient(this);
}

QStringList& TOracleQuery::SQL() {
    return d->sql;
}
const QStringList& TOracleQuery::SQL() const {
    return d->sql;
}

void TOracleQuery::SetSQLText(const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    d->sql = t.split(QLatin1Char('\n'));
}

int TOracleQuery::ReadBuffer() const {
    return d->readBuffer;
}
void TOracleQuery::SetReadBuffer(int rows) {
    d->readBuffer = std::max(1, rows);
}
bool TOracleQuery::Optimize() const {
    return d->optimize;
}
void TOracleQuery::SetOptimize(bool value) {
    d->optimize = value;
}
TVariables& TOracleQuery::Variables() {
    return d->variables;
}

void TOracleQuery::DeclareVariable(const QString& name, int dataType) {
    TOracleLock lock(d->Lock());
    d->variables.Declare(name, dataType);
    d->mustPrepare = true;
}

void TOracleQuery::DeleteVariable(const QString& name) {
    TOracleLock lock(d->Lock());
    d->variables.Delete(name);
    d->mustPrepare = true;
}

void TOracleQuery::DeleteVariables() {
    TOracleLock lock(d->Lock());
    d->variables.Clear();
    d->mustPrepare = true;
}

void TOracleQuery::SetVariable(const QString& name, const QVariant& value) {
    TOracleLock lock(d->Lock());
    TVariableData* v = d->variables.Find(name);
    if (!v)
        throw Exception(QStringLiteral("Variable ") + TVariables::NormalName(name) +
                        QStringLiteral(" not declared"));
    v->SetValue(value);
}

void TOracleQuery::SetLongVariable(const QString& name, const void* data, int length) {
    TOracleLock lock(d->Lock());
    TVariableData* v = d->variables.Find(name);
    if (!v)
        throw Exception(QStringLiteral("Variable ") + TVariables::NormalName(name) +
                        QStringLiteral(" not declared"));
    if (v->DataType() != otLong && v->DataType() != otLongRaw)
        throw Exception(QStringLiteral("Variable ") + v->Name() + QStringLiteral(" is not a Long"));
    v->SetLongValue(data, length);
}

QVariant TOracleQuery::GetVariable(const QString& name) const {
    TOracleLock lock(d->Lock());
    TVariableData* v = d->variables.Find(name);
    if (!v)
        throw Exception(QStringLiteral("Unknown variable: ") + TVariables::NormalName(name));
    return v->Value(d->session ? d->session->NullValue() : nvUnAssigned);
}

QString TOracleQuery::StatementText() const {
    QString text = d->sql.join(QStringLiteral("\r\n"));
    text.remove(QLatin1Char('\r'));
    if (text.isEmpty())
        text = QStringLiteral(" ");
    return text;
}

int TOracleQuery::StatementType() const {
    TOracleLock lock(d->Lock());
    return d->stmtType;
}

void TOracleQuery::Execute() {
    Run(false);
}

void TOracleQuery::ExecuteAndCommit() {
    Run(true);
}

void TOracleQuery::Run(bool commit) {
    TOracleSession* session = d->session;
    if (!session)
        throw Exception(QStringLiteral("Session undefined"));
    if (!OracleCI::IsLoaded())
        OracleCI::EnsureLoaded();
    // A session that another thread is connecting or logging off: no waiting for it.
    if (!session->Connected() || session->LoggingOffElsewhere())
        throw Exception(QStringLiteral("Not logged on"));
    TOracleLock lock(&session->CriticalSection());
    session->ClearTransactionCache();
    if (!session->Connected())
        throw Exception(QStringLiteral("Not logged on"));
    if (BeforeQuery)
        BeforeQuery(this);

    const TOciApi& api = OracleCI::Api();
    TOracleSession::Handles& h = session->OciHandles();
    d->eof = true;
    d->rowsInBlock = 0;
    d->currentRow = 0;
    d->rowsProcessed = 0;
    d->errorCode = 0;

    const auto fail = [&](sword status) {
        const OciErrorInfo info = ReadError(h.err, OCI_HTYPE_ERROR, status);
        session->NoteError(info.code);
        d->errorCode = info.code;
        d->eof = true;
        if (AfterQuery)
            AfterQuery(this);
        throw EOracleError(info.message, info.code, this, session);
    };

    // Prepare, unless the same statement is still prepared.
    const QString text = StatementText();
    bool hasLong = false;
    for (int i = 0; i < d->variables.Count(); ++i) {
        const int type = d->variables.Data(i)->DataType();
        hasLong = hasLong || type == otLong || type == otLongRaw;
    }
    const bool reuse = d->optimize && d->stmt && !d->mustPrepare && d->stmtEnv == h.env &&
                       text == d->preparedText && IsReusableType(d->stmtType) && !hasLong;
    if (!reuse) {
        Close();
        void* stmt = nullptr;
        if (Failed(api.OCIHandleAlloc(h.env, &stmt, OCI_HTYPE_STMT, 0, nullptr)))
            throw Exception(QStringLiteral("Cannot allocate OCI statement handle"));
        d->stmt = static_cast<OCIStmt*>(stmt);
        d->stmtEnv = h.env;
        const QByteArray bytes = text.toUtf8();
        sword status = api.OCIStmtPrepare(d->stmt, h.err, reinterpret_cast<const OraText*>(bytes.constData()),
                                          ub4(bytes.size()), OCI_NTV_SYNTAX, OCI_DEFAULT);
        if (Failed(status)) {
            d->preparedText.clear();
            fail(status);
        }
        // Prefetching is bounded by rows alone (set at each execute), not by memory.
        ub4 zero = 0;
        api.OCIAttrSet(d->stmt, OCI_HTYPE_STMT, &zero, sizeof zero, OCI_ATTR_PREFETCH_MEMORY, h.err);
        ub2 type = OCI_STMT_UNKNOWN;
        api.OCIAttrGet(d->stmt, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, h.err);
        d->stmtType = type;
        d->preparedText = text;
        d->mustPrepare = false;
        for (int i = 0; i < d->variables.Count(); ++i)
            d->variables.Data(i)->BoundStatement = nullptr;
    }

    // Bind every declared variable whose buffer moved since it was last bound to this statement.
    for (int i = 0; i < d->variables.Count(); ++i) {
        TVariableData* v = d->variables.Data(i);
        void* buffer = v->BindBuffer();
        const int size = v->BindSize();
        if (v->BoundStatement == d->stmt && v->BoundBuffer == buffer && v->BoundSize == size)
            continue;
        const QByteArray name = v->Name().toUtf8();
        OCIBind* bind = nullptr;
        const sword status =
            api.OCIBindByName(d->stmt, &bind, h.err, reinterpret_cast<const OraText*>(name.constData()),
                              sb4(name.size()), buffer, sb4(size), ub2(v->DataType()), v->Indicator(),
                              v->BindLength(), nullptr, 0, nullptr, OCI_DEFAULT);
        if (Failed(status)) {
            v->BoundStatement = nullptr;
            fail(status);
        }
        v->BoundStatement = d->stmt;
        v->BoundBuffer = buffer;
        v->BoundSize = size;
    }

    if (d->stmtType == OCI_STMT_SELECT) {
        // The execute brings the first block and one row more, and so does every later round trip: a
        // select of up to a block of rows costs one round trip, and a block that ends the rows says so.
        // (The client ignores this for a select list with a LONG or LONG RAW column.)
        ub4 prefetch = ub4(std::max(1, d->readBuffer)) + 1;
        api.OCIAttrSet(d->stmt, OCI_HTYPE_STMT, &prefetch, sizeof prefetch, OCI_ATTR_PREFETCH_ROWS, h.err);
        sword status = api.OCIStmtExecute(h.svc, d->stmt, h.err, 0, 0, nullptr, nullptr, OCI_DEFAULT);
        if (Failed(status))
            fail(status);
        if (!d->defined) {
            d->fields.clear();
            ub4 count = 0;
            api.OCIAttrGet(d->stmt, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, h.err);
            bool anyLong = false;
            d->fields.resize(count);
            for (ub4 pos = 1; pos <= count; ++pos) {
                void* param = nullptr;
                status = api.OCIParamGet(d->stmt, OCI_HTYPE_STMT, h.err, &param, pos);
                if (Failed(status))
                    fail(status);
                ub2 size = 0, type = 0;
                sb2 precision = 0;
                sb1 scale = 0;
                ub1 isNull = 1;
                OraText* name = nullptr;
                ub4 nameLength = 0;
                api.OCIAttrGet(param, OCI_DTYPE_PARAM, &size, nullptr, OCI_ATTR_DATA_SIZE, h.err);
                api.OCIAttrGet(param, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, h.err);
                api.OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &nameLength, OCI_ATTR_NAME, h.err);
                api.OCIAttrGet(param, OCI_DTYPE_PARAM, &precision, nullptr, OCI_ATTR_PRECISION, h.err);
                api.OCIAttrGet(param, OCI_DTYPE_PARAM, &scale, nullptr, OCI_ATTR_SCALE, h.err);
                api.OCIAttrGet(param, OCI_DTYPE_PARAM, &isNull, nullptr, OCI_ATTR_IS_NULL, h.err);
                TFieldData& f = d->fields[pos - 1];
                // The name points into the descriptor's memory: copied before the descriptor is freed.
                f.Name = name ? QString::fromUtf8(reinterpret_cast<const char*>(name), qsizetype(nameLength))
                              : QString();
                api.OCIDescriptorFree(param, OCI_DTYPE_PARAM);
                f.ServerType = type;
                f.Size = size;
                f.Precision = precision;
                f.Scale = scale;
                f.Nullable = isNull != 0;
                switch (type) {
                case SQLT_NUM:
                case SQLT_INT:
                case SQLT_FLT:
                case SQLT_VNU:
                case SQLT_BFLOAT:
                case SQLT_BDOUBLE:
                case SQLT_IBFLOAT:
                case SQLT_IBDOUBLE: {
                    int p = precision, s = scale;
                    if (p == 0 && s == -127)
                        s = 0;
                    if (p == 0 && s == 0)
                        p = 38;
                    const bool integer = (type == SQLT_NUM || type == SQLT_VNU) && s <= 0 && p >= 1 && p <= 9;
                    f.BufferType = integer ? otInteger : otFloat;
                    f.BufferSize = integer ? 4 : 8;
                    break;
                }
                case SQLT_DAT:
                case SQLT_ODT:
                case SQLT_DATE:
                case SQLT_TIMESTAMP:
                case SQLT_TIMESTAMP_TZ:
                case SQLT_TIMESTAMP_LTZ:
                    f.BufferType = otDate;
                    f.BufferSize = 7;
                    break;
                case SQLT_RDD:
                case SQLT_RID:
                case 69:  // ROWID as stored
                case 208: // UROWID
                    f.BufferType = otString;
                    f.BufferSize = std::max(int(size) + 1, 19);
                    break;
                case SQLT_BIN:
                    f.BufferType = otString;
                    f.IsRaw = true;
                    f.BufferSize = 2 * std::max(int(size), 1) + 1;
                    break;
                case SQLT_LNG:
                    f.BufferType = otLong;
                    anyLong = true;
                    break;
                case SQLT_LBI:
                    f.BufferType = otLongRaw;
                    anyLong = true;
                    break;
                default:
                    // Text: the size is in server bytes; UTF-8 may need up to four bytes a character.
                    f.BufferType = otString;
                    f.BufferSize = std::min(std::max(int(size), 1) * 4, 32767) + 1;
                    if (size == 0)
                        f.BufferSize = 4001;
                    break;
                }
            }
            d->blockSize = anyLong ? 1 : std::max(1, d->readBuffer);
            for (ub4 pos = 1; pos <= count; ++pos) {
                TFieldData& f = d->fields[pos - 1];
                f.Allocate(d->blockSize);
                OCIDefine* define = nullptr;
                if (f.BufferType == otLong || f.BufferType == otLongRaw) {
                    status =
                        api.OCIDefineByPos(d->stmt, &define, h.err, pos, nullptr, INT_MAX, ub2(f.BufferType),
                                           nullptr, nullptr, nullptr, OCI_DYNAMIC_FETCH);
                    if (!Failed(status))
                        status = api.OCIDefineDynamic(define, h.err, &f, LongPieceCallback);
                } else {
                    const ub2 dty = f.BufferType == otString ? SQLT_STR : ub2(f.BufferType);
                    status = api.OCIDefineByPos(d->stmt, &define, h.err, pos, f.Buffer.data(), f.BufferSize,
                                                dty, f.Indicators.data(), f.Lengths.data(),
                                                f.ReturnCodes.data(), OCI_DEFAULT);
                }
                if (Failed(status))
                    fail(status);
            }
            d->defined = true;
        }
        d->fetchedTotal = 0;
        d->lastBlock = false;
        FetchBlock();
    } else {
        const sword status = api.OCIStmtExecute(h.svc, d->stmt, h.err, 1, 0, nullptr, nullptr,
                                                commit ? OCI_COMMIT_ON_SUCCESS : OCI_DEFAULT);
        if (Failed(status))
            fail(status);
        ub4 rows = 0;
        api.OCIAttrGet(d->stmt, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, h.err);
        d->rowsProcessed = int(rows);
        d->rowId.clear();
        // A change of a row opens a transaction, a commit ends it: InTransaction need not ask the server.
        if (commit)
            session->d->inTransaction = 0;
        else if ((d->stmtType == OCI_STMT_INSERT || d->stmtType == OCI_STMT_UPDATE ||
                  d->stmtType == OCI_STMT_DELETE) &&
                 rows > 0)
            session->d->inTransaction = 1;
        if ((d->stmtType == OCI_STMT_INSERT || d->stmtType == OCI_STMT_UPDATE ||
             d->stmtType == OCI_STMT_DELETE) &&
            rows > 0) {
            if (!d->rowidDesc) {
                void* desc = nullptr;
                if (!Failed(api.OCIDescriptorAlloc(h.env, &desc, OCI_DTYPE_ROWID, 0, nullptr)))
                    d->rowidDesc = static_cast<OCIRowid*>(desc);
            }
            ub4 size = UINT_MAX;
            if (d->rowidDesc &&
                !Failed(
                    api.OCIAttrGet(d->stmt, OCI_HTYPE_STMT, d->rowidDesc, &size, OCI_ATTR_ROWID, h.err)) &&
                size != 0) {
                OraText buffer[64];
                ub2 length = sizeof buffer;
                if (!Failed(api.OCIRowidToChar(d->rowidDesc, buffer, &length, h.err)))
                    d->rowId = QString::fromLatin1(reinterpret_cast<const char*>(buffer), length);
            }
        }
        d->eof = true;
        if (!d->optimize)
            Close();
    }
}

// Fetches the next block of rows; the session's lock is held by the caller.
void TOracleQuery::FetchBlock() {
    TOracleSession* session = d->session;
    const TOciApi& api = OracleCI::Api();
    TOracleSession::Handles& h = session->OciHandles();
    for (TFieldData& f : d->fields) {
        f.LongIndicator = -1;
        f.LongValue.clear();
        f.PieceStart = 0;
        f.PieceLength = 0;
    }
    sword status = api.OCIStmtFetch2
                       ? api.OCIStmtFetch2(d->stmt, h.err, ub4(d->blockSize), OCI_FETCH_NEXT, 0, OCI_DEFAULT)
                       : api.OCIStmtFetch(d->stmt, h.err, ub4(d->blockSize), OCI_FETCH_NEXT, OCI_DEFAULT);
    if (status == OCI_SUCCESS_WITH_INFO || status == OCI_ERROR) {
        const OciErrorInfo info = ReadError(h.err, OCI_HTYPE_ERROR, status);
        if (info.code != kNoMoreRows && info.code != kTruncated && status == OCI_ERROR) {
            session->NoteError(info.code);
            d->errorCode = info.code;
            d->eof = true;
            if (AfterQuery)
                AfterQuery(this);
            throw EOracleError(info.message, info.code, this, session);
        }
        if (info.code == kNoMoreRows)
            status = OCI_NO_DATA;
    } else if (Failed(status) && status != OCI_NO_DATA) {
        const OciErrorInfo info = ReadError(h.err, OCI_HTYPE_ERROR, status);
        session->NoteError(info.code);
        d->eof = true;
        throw EOracleError(info.message, info.code, this, session);
    }
    ub4 total = 0;
    api.OCIAttrGet(d->stmt, OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT, h.err);
    d->rowsInBlock = int(total >= d->fetchedTotal ? total - d->fetchedTotal : 0);
    d->rowsInBlock = std::min(d->rowsInBlock, d->blockSize);
    d->fetchedTotal = total;
    d->rowsProcessed = int(total);
    d->currentRow = 0;
    d->lastBlock = status == OCI_NO_DATA || d->rowsInBlock < d->blockSize;
    // Piecewise values: the last piece's length is what the client wrote into it.
    for (TFieldData& f : d->fields) {
        if (f.BufferType == otLong || f.BufferType == otLongRaw)
            f.LongValue.resize(f.LongIndicator == -1 ? 0 : f.PieceStart + qsizetype(f.PieceLength));
    }
    d->eof = d->rowsInBlock == 0;
    if (d->eof) {
        if (AfterQuery)
            AfterQuery(this);
        if (!d->optimize)
            Close();
    }
}

bool TOracleQuery::Eof() const {
    TOracleLock lock(d->Lock());
    return d->eof;
}

void TOracleQuery::Next() {
    if (d->session && d->session->LoggingOffElsewhere())
        throw Exception(QStringLiteral("Not logged on"));
    TOracleLock lock(d->Lock());
    if (d->eof)
        return;
    if (!d->session)
        throw Exception(QStringLiteral("Session undefined"));
    if (!d->session->Connected())
        throw Exception(QStringLiteral("Not logged on"));
    ++d->currentRow;
    if (d->currentRow < d->rowsInBlock)
        return;
    if (d->lastBlock) {
        d->eof = true;
        if (AfterQuery)
            AfterQuery(this);
        if (!d->optimize)
            Close();
        return;
    }
    FetchBlock();
}

void TOracleQuery::Close() {
    TOracleLock lock(d->Lock());
    if (d->stmt || d->rowidDesc) {
        d->preparedText.clear();
        d->eof = true;
        if (OracleCI::IsLoaded() && d->session && d->session->OciHandles().env == d->stmtEnv && d->stmtEnv) {
            if (d->stmt)
                OracleCI::Api().OCIHandleFree(d->stmt, OCI_HTYPE_STMT);
            if (d->rowidDesc)
                OracleCI::Api().OCIDescriptorFree(d->rowidDesc, OCI_DTYPE_ROWID);
        }
        d->stmt = nullptr;
        d->rowidDesc = nullptr;
        d->stmtEnv = nullptr;
    }
    d->eof = true;
    d->fields.clear();
    d->defined = false;
    d->rowsInBlock = 0;
    d->currentRow = 0;
    for (int i = 0; i < d->variables.Count(); ++i)
        d->variables.Data(i)->BoundStatement = nullptr;
}

void TOracleQuery::SessionLoggingOff() {
    Close();
}

void TOracleQuery::SessionDestroyed() {
    TOracleLock lock(d->Lock());
    Close();
    d->session = nullptr;
}

int TOracleQuery::FieldCount() const {
    TOracleLock lock(d->Lock());
    return int(d->fields.size());
}

int TOracleQuery::Private::Find(const QString& name) const {
    // The kept copy holds the looked-up string's data alive, so the same data means the same text.
    const auto sameString = [&name](const TFieldData& f) {
        return !name.isEmpty() && f.LookupName.constData() == name.constData() &&
               f.LookupName.size() == name.size();
    };
    const auto found = [this, &name](size_t i) {
        lastFound.store(int(i), std::memory_order_relaxed);
        if (fields[i].LookupName.constData() != name.constData())
            fields[i].LookupName = name;
        return int(i);
    };
    // A row is mostly read column after column: the column after the last one found comes first.
    const size_t count = fields.size();
    if (count > 0) {
        const size_t next = (size_t(lastFound.load(std::memory_order_relaxed)) + 1) % count;
        if (sameString(fields[next]) || fields[next].Name == name)
            return found(next);
    }
    // Names are mostly written as the server reports them: an exact match is found without the cost of
    // comparing case-blind, which a read by name would otherwise pay for every column of every row.
    for (size_t i = 0; i < count; ++i)
        if (sameString(fields[i]) || fields[i].Name == name)
            return found(i);
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    const QString trimmed = name.trimmed();
    if (trimmed.size() != name.size())
        return Find(trimmed);
    return -1;
}

const TFieldData& TOracleQuery::Private::Checked(int index) const {
    if (index < 0 || size_t(index) >= fields.size())
        throw Exception(QStringLiteral("Field %1 does not exist").arg(index));
    return fields[size_t(index)];
}

// Column of the current row by name: the documented errors for an unknown name and for Eof.
const TFieldData& TOracleQuery::Private::Current(const QString& name) const {
    const int index = Find(name);
    if (index < 0)
        throw Exception(QStringLiteral("Field ") + name + QStringLiteral(" does not exist"));
    if (eof)
        throw Exception(QStringLiteral("You cannot access field data beyond Eof"));
    return fields[size_t(index)];
}

const TFieldData& TOracleQuery::Private::Current(int index) const {
    const TFieldData& f = Checked(index);
    if (eof)
        throw Exception(QStringLiteral("You cannot access field data beyond Eof"));
    return f;
}

int TOracleQuery::FieldIndex(const QString& name) const {
    TOracleLock lock(d->Lock());
    return d->Find(name);
}

QString TOracleQuery::FieldName(int index) const {
    TOracleLock lock(d->Lock());
    return d->Checked(index).Name;
}
int TOracleQuery::FieldType(int index) const {
    TOracleLock lock(d->Lock());
    return d->Checked(index).BufferType;
}
int TOracleQuery::FieldSize(int index) const {
    TOracleLock lock(d->Lock());
    return d->Checked(index).Size;
}
int TOracleQuery::FieldPrecision(int index) const {
    TOracleLock lock(d->Lock());
    return d->Checked(index).Precision;
}
int TOracleQuery::FieldScale(int index) const {
    TOracleLock lock(d->Lock());
    return d->Checked(index).Scale;
}
int TOracleQuery::FieldServerType(int index) const {
    TOracleLock lock(d->Lock());
    return d->Checked(index).ServerType;
}
bool TOracleQuery::FieldOptional(int index) const {
    TOracleLock lock(d->Lock());
    return d->Checked(index).Nullable;
}

bool TOracleQuery::FieldIsNull(const QString& name) const {
    TOracleLock lock(d->Lock());
    return d->Current(name).IsNull(d->currentRow);
}

QVariant TOracleQuery::Field(const QString& name) const {
    TOracleLock lock(d->Lock());
    return d->Current(name).Value(d->currentRow, d->session ? d->session->NullValue() : nvUnAssigned);
}

QVariant TOracleQuery::Field(int index) const {
    TOracleLock lock(d->Lock());
    return d->Current(index).Value(d->currentRow, d->session ? d->session->NullValue() : nvUnAssigned);
}

QString TOracleQuery::FieldAsString(const QString& name) const {
    TOracleLock lock(d->Lock());
    return d->Current(name).AsString(d->currentRow);
}

QString TOracleQuery::FieldAsString(int index) const {
    TOracleLock lock(d->Lock());
    return d->Current(index).AsString(d->currentRow);
}

void TOracleQuery::ReadRow(const std::function<void(const std::vector<TFieldData>&, int)>& read) const {
    TOracleLock lock(d->Lock());
    if (!d->eof)
        read(d->fields, d->currentRow);
}

int TOracleQuery::RowsProcessed() const {
    TOracleLock lock(d->Lock());
    return d->rowsProcessed;
}
int TOracleQuery::ErrorCode() const {
    TOracleLock lock(d->Lock());
    return d->errorCode;
}
QString TOracleQuery::RowId() const {
    TOracleLock lock(d->Lock());
    return d->rowId;
}

// ---------------------------------------------------------------------------------------------------------

struct TOraclePackage::Private {
    TOracleSession* session = nullptr;
    QString packageName;
    TParameterMode mode = pmPositional;
    bool optimize = true;
    std::unique_ptr<TOracleQuery> query;
    QStringList lastSignature; // name and type of each parameter of the previous call
    bool hasSignature = false;
};

TOraclePackage::TOraclePackage(QObject* owner) : QObject(owner), d(std::make_unique<Private>()) {
    d->query = std::make_unique<TOracleQuery>();
    d->query->setObjectName(QStringLiteral("Query"));
}

TOraclePackage::~TOraclePackage() {
    d->query.reset();
    if (d->session)
        d->session->UnregisterClient(this);
}

TOracleSession* TOraclePackage::Session() const {
    return d->session;
}

void TOraclePackage::SetSession(TOracleSession* session) {
    if (session == d->session)
        return;
    if (d->session)
        d->session->UnregisterClient(this);
    d->session = session;
    d->query->SetSession(session);
    if (session)
        session->RegisterClient(this);
}

QString TOraclePackage::PackageName() const {
    return d->packageName;
}
void TOraclePackage::SetPackageName(const QString& name) {
    d->packageName = name;
}
TParameterMode TOraclePackage::ParameterMode() const {
    return d->mode;
}
void TOraclePackage::SetParameterMode(TParameterMode mode) {
    d->mode = mode;
}
bool TOraclePackage::Optimize() const {
    return d->optimize;
}
void TOraclePackage::SetOptimize(bool value) {
    d->optimize = value;
}
TOracleQuery* TOraclePackage::Query() const {
    return d->query.get();
}

void TOraclePackage::SessionLoggingOff() {
    d->query->Close();
}

void TOraclePackage::SessionDestroyed() {
    // The inner query is registered with the session itself and is detached by it.
    d->session = nullptr;
}

void TOraclePackage::CallProcedure(const QString& procedureName, const QVariantList& parameters) {
    struct Parameter {
        QString name;
        QVariant value;
        int type = -1; // -1: written as the literal Null
        bool boolean = false;
    };
    std::vector<Parameter> list;
    if (d->mode == pmNamed) {
        if (parameters.size() % 2 != 0)
            throw Exception(
                QStringLiteral("Even number of parameters required when ParameterMode = pmNamed"));
        for (qsizetype i = 0; i < parameters.size(); i += 2) {
            if (parameters[i].typeId() != QMetaType::QString)
                throw Exception(QStringLiteral("Parameter names must be strings"));
            list.push_back({parameters[i].toString(), parameters[i + 1]});
        }
    } else {
        for (qsizetype i = 0; i < parameters.size(); ++i)
            list.push_back({QStringLiteral("p%1").arg(i + 1), parameters[i]});
    }
    QStringList signature;
    for (Parameter& p : list) {
        const QVariant& v = p.value;
        if (!v.isValid() || v.isNull()) {
            p.type = -1;
        } else {
            switch (v.typeId()) {
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::Short:
            case QMetaType::UShort:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
            case QMetaType::Long:
            case QMetaType::ULong:
            case QMetaType::SChar:
            case QMetaType::UChar:
                p.type = otInteger;
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                p.type = otFloat;
                break;
            case QMetaType::QDateTime:
            case QMetaType::QDate:
                p.type = otDate;
                break;
            case QMetaType::QString:
                p.type = otString;
                break;
            case QMetaType::Bool:
                p.type = otInteger;
                p.boolean = true;
                break;
            default:
                throw Exception(QStringLiteral("Type of parameter ") + p.name +
                                QStringLiteral(" not supported"));
            }
        }
        signature << p.name.toUpper() + QLatin1Char(':') + QString::number(p.type) + (p.boolean ? "b" : "");
    }

    TOracleQuery& q = *d->query;
    if (!d->optimize || !d->hasSignature || signature != d->lastSignature) {
        q.DeleteVariables();
        for (const Parameter& p : list)
            if (p.type >= 0)
                q.DeclareVariable(p.name, p.type);
        QStringList arguments;
        for (const Parameter& p : list) {
            QString value = p.type < 0 ? QStringLiteral("Null") : QLatin1Char(':') + p.name;
            if (p.boolean)
                value = QStringLiteral("sys.diutil.int_to_bool(") + value + QLatin1Char(')');
            arguments << (d->mode == pmNamed ? p.name + QStringLiteral(" => ") + value : value);
        }
        QString call = QStringLiteral("  ") + d->packageName + QLatin1Char('.') + procedureName;
        if (!arguments.isEmpty())
            call += QLatin1Char('(') + arguments.join(QStringLiteral(", ")) + QLatin1Char(')');
        call += QLatin1Char(';');
        q.SQL() = QStringList{QStringLiteral("begin"), call, QStringLiteral("end;")};
        d->lastSignature = signature;
        d->hasSignature = true;
    }
    for (const Parameter& p : list)
        if (p.type >= 0)
            q.SetVariable(p.name, p.boolean ? QVariant(p.value.toBool() ? 1 : 0) : p.value);
    q.Execute();
}

TDBMSPackage::TDBMSPackage(TOracleSession* session, const QString& packageName)
    : Package(new TOraclePackage) {
    Package->setObjectName(packageName);
    Package->SetSession(session);
    Package->SetPackageName(QStringLiteral("sys.") + packageName);
    Package->SetParameterMode(pmNamed);
}

TDBMSPackage::~TDBMSPackage() {
    delete Package;
}

TOracleSession* TDBMSPackage::Session() const {
    return Package->Session();
}

TDBMS_Application_Info::TDBMS_Application_Info(TOracleSession* session)
    : TDBMSPackage(session, QStringLiteral("DBMS_Application_Info")) {}

void TDBMS_Application_Info::SetModule(const QString& moduleName, const QString& actionName) {
    Package->CallProcedure(QStringLiteral("set_module"), {QStringLiteral("module_name"), moduleName,
                                                          QStringLiteral("action_name"), actionName});
}

void TDBMS_Application_Info::SetClientInfo(const QString& clientInfo) {
    Package->CallProcedure(QStringLiteral("set_client_info"), {QStringLiteral("client_info"), clientInfo});
}
