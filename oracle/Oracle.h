// Sessions, queries, database errors and server package calls over the Oracle Call Interface.
//
// Conventions for callers:
// - Properties are a getter named like the property and a setter with "Set" in front
//   (LogonUsername() / SetLogonUsername()).
// - Events are std::function members assigned by the owner (one handler each); a handler may throw
//   and the exception leaves the operation that fired it.
// - Sessions, queries and packages are QObjects: the owner passed to the constructor deletes them.
// - Failures raise Exception (misuse, client library) or EOracleError (server errors); nothing here
//   shows a window.
#pragma once

#include "OracleTypes.h"

#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TOracleSession;

// A recursive lock with an entry counter: Leave without a matching Enter on the same thread does
// nothing. Taken for every call of a query (each Field of each row), so the uncontended path is one
// atomic exchange each way; a contended Enter sleeps on the state word.
class TOracleCriticalSection {
public:
    void Enter();
    void Leave();
    bool TryEnter();

private:
    void Wait();

    // 0 free, 1 held, 2 held and another thread may be sleeping.
    std::atomic<int> FState{0};
    // The owning thread's token (0: none); equals the caller's own token only while it holds the lock.
    std::atomic<std::uintptr_t> FOwner{0};
    int FDepth = 0; // entries of the owning thread
};

// Holds a critical section for a scope; a null section locks nothing.
class TOracleLock {
public:
    explicit TOracleLock(TOracleCriticalSection* section) : FSection(section) {
        if (FSection)
            FSection->Enter();
    }
    ~TOracleLock() {
        if (FSection)
            FSection->Leave();
    }
    TOracleLock(const TOracleLock&) = delete;
    TOracleLock& operator=(const TOracleLock&) = delete;

private:
    TOracleCriticalSection* FSection;
};

// An error the server or the client library reported: Message() is "ORA-nnnnn: text" as OCIErrorGet
// gives it (line end included, at most 1023 characters).
class EOracleError : public Exception {
public:
    EOracleError(const QString& message, int errorCode, QObject* component, TOracleSession* session);
    int ErrorCode() const { return FErrorCode; }
    QObject* Component() const { return FComponent; }
    TOracleSession* Session() const { return FSession; }

private:
    int FErrorCode;
    QObject* FComponent;
    TOracleSession* FSession;
};

// Anything attached to a session (queries, datasets, package objects). The session calls these with
// its own lock held.
class TOracleSessionClient {
public:
    virtual ~TOracleSessionClient() = default;
    // The session logs off: release statements. Exceptions are swallowed by the session.
    virtual void SessionLoggingOff() = 0;
    // The session is being destroyed: forget it (Session() becomes null).
    virtual void SessionDestroyed() = 0;
    // A client that survives log-off untouched (a detachable dataset) answers false.
    virtual bool CloseOnLogOff() const { return true; }
};

enum TConnectAsOption { caNormal, caSYSDBA, caSYSOPER };

class TOracleSession : public QObject {
    Q_OBJECT
public:
    using TOracleSessionEvent = std::function<void(TOracleSession*)>;

    explicit TOracleSession(QObject* owner = nullptr);
    ~TOracleSession() override;

    QString LogonUsername() const;
    void SetLogonUsername(const QString& value);
    QString LogonPassword() const;
    void SetLogonPassword(const QString& value);
    QString LogonDatabase() const;
    void SetLogonDatabase(const QString& value);
    TConnectAsOption ConnectAs() const;
    void SetConnectAs(TConnectAsOption value);

    bool Connected() const;
    // True on every thread but the one logging the session off, while it waits for the session:
    // statements then fail at once instead of keeping the log-off waiting behind them.
    bool LoggingOffElsewhere() const;
    void SetConnected(bool value);
    // OCI's call timeout in milliseconds (0 = none), set at the next LogOn on clients 18.1 and later:
    // a round trip that runs past it fails with ORA-03156. A client that refuses it is used without.
    int CallTimeout() const;
    void SetCallTimeout(int milliseconds);
    bool ThreadSafe() const;
    // Raises "Cannot change ThreadSafe property when connected".
    void SetThreadSafe(bool value);
    bool RollbackOnDisconnect() const;
    void SetRollbackOnDisconnect(bool value);
    TNullValueOption NullValue() const;
    void SetNullValue(TNullValueOption value);

    // Text of a password-expiry warning (ORA-28002 / ORA-28011) received at the last logon.
    QString LogonWarning() const;

    // LogOn and LogOff of one session wait for each other; their round trips hold no lock that a
    // statement, another session or the library loading waits for.
    void LogOn();
    void LogOff();
    void Commit();
    void Rollback();
    bool InTransaction();

    // Fired by LogOn (AfterLogOn also after a failed attempt) and by LogOff (OnChange). They run
    // on the calling thread without the session's lock held.
    TOracleSessionEvent BeforeLogOn;
    TOracleSessionEvent AfterLogOn;
    TOracleSessionEvent OnChange;
    // Fired after a commit the server accepted, on the calling thread without the session's lock.
    TOracleSessionEvent AfterCommit;

    // The session's own recursive lock: held around every call on the session and its queries, but
    // not across the round trips of LogOn and LogOff.
    TOracleCriticalSection& CriticalSection();

    // True once after a call on the session failed with an error that means the connection is gone
    // (IsConnectionLostError); LogOn clears it.
    bool TakeConnectionLost();
    // The Oracle error numbers that mean the connection to the server is gone, ORA-03156 (call timed
    // out) included.
    static bool IsConnectionLostError(int errorCode);
    // Records a failed call's error number (for TakeConnectionLost).
    void NoteError(int errorCode);

    void RegisterClient(TOracleSessionClient* client);
    void UnregisterClient(TOracleSessionClient* client);

    // For the layer's queries: OCI handles and status (opaque outside the layer).
    struct Handles;
    Handles& OciHandles();
    // Raises EOracleError from the session's error handle for a failed call.
    [[noreturn]] void RaiseError(int status, QObject* component);
    void ClearTransactionCache();

    // Parses a connect string "user/password@database as sysdba" into its parts; used by LogOn.
    struct ConnectParts {
        QString User, Password, Database;
        TConnectAsOption ConnectAs = caNormal;
    };
    static bool IsConnectString(const QString& text);
    static ConnectParts SplitConnectString(const QString& text);

private:
    struct Private;
    std::unique_ptr<Private> d;
    friend class TOracleQuery;
};

class TOracleQuery : public QObject, public TOracleSessionClient {
    Q_OBJECT
public:
    using TOracleQueryEvent = std::function<void(TOracleQuery*)>;

    explicit TOracleQuery(QObject* owner = nullptr);
    ~TOracleQuery() override;

    TOracleSession* Session() const;
    // Closes the query and moves it to the new session's list.
    void SetSession(TOracleSession* session);

    // The statement as a list of lines (joined with CR LF, then every CR removed).
    QStringList& SQL();
    const QStringList& SQL() const;
    // Replaces the lines with the lines of a text.
    void SetSQLText(const QString& text);

    int ReadBuffer() const;
    void SetReadBuffer(int rows);
    bool Optimize() const;
    void SetOptimize(bool value);

    TVariables& Variables();
    void DeclareVariable(const QString& name, int dataType);
    void DeleteVariable(const QString& name);
    void DeleteVariables();
    void SetVariable(const QString& name, const QVariant& value);
    void SetLongVariable(const QString& name, const void* data, int length);
    QVariant GetVariable(const QString& name) const;

    // Prepares when needed, binds and executes; a select is positioned on its first row.
    virtual void Execute();
    // Execute, then commit the session's transaction when the statement succeeded, in one round trip
    // (OCI_COMMIT_ON_SUCCESS): the same as Execute followed by the session's Commit.
    void ExecuteAndCommit();
    bool Eof() const;
    void Next();
    void Close();

    // Columns of the current select (valid after Execute until Close).
    int FieldCount() const;
    QString FieldName(int index) const;
    int FieldIndex(const QString& name) const; // -1 when no column has that name
    int FieldType(int index) const;            // buffer type: otInteger, otFloat, otString, ...
    int FieldSize(int index) const;
    int FieldPrecision(int index) const;
    int FieldScale(int index) const;
    bool FieldOptional(int index) const;
    // The server's datatype code of the column (1 VARCHAR2, 2 NUMBER, 12 DATE, 104 ROWID, 208 UROWID...).
    int FieldServerType(int index) const;
    bool FieldIsNull(const QString& name) const;
    QVariant Field(const QString& name) const;
    QVariant Field(int index) const;
    QString FieldAsString(const QString& name) const;
    QString FieldAsString(int index) const;
    // The current row's columns as the client delivered them, for a reader that converts them itself
    // (the dataset's load): one lock for the whole row instead of one per column. The session's lock is
    // held while read runs; at Eof read is not called.
    void ReadRow(const std::function<void(const std::vector<TFieldData>& columns, int row)>& read) const;

    int RowsProcessed() const;
    int ErrorCode() const;
    // The 18-character row id of the last row an insert, update or delete touched.
    QString RowId() const;
    // 1 select, 2 update, 3 delete, 4 insert, 8 begin, 9 declare, ... (OCI statement types).
    int StatementType() const;
    // The statement text as it reaches the server.
    QString StatementText() const;

    TOracleQueryEvent BeforeQuery;
    TOracleQueryEvent AfterQuery;

    void SessionLoggingOff() override;
    void SessionDestroyed() override;

private:
    void Run(bool commit);
    void FetchBlock();
    struct Private;
    std::unique_ptr<Private> d;
};

enum TParameterMode { pmPositional, pmNamed };

// Calls stored procedures of a server package through a generated PL/SQL block.
class TOraclePackage : public QObject, public TOracleSessionClient {
    Q_OBJECT
public:
    explicit TOraclePackage(QObject* owner = nullptr);
    ~TOraclePackage() override;

    TOracleSession* Session() const;
    void SetSession(TOracleSession* session);
    QString PackageName() const;
    void SetPackageName(const QString& name);
    TParameterMode ParameterMode() const;
    void SetParameterMode(TParameterMode mode);
    bool Optimize() const;
    void SetOptimize(bool value);

    // pmNamed: name, value, name, value, ...; pmPositional: values in order.
    void CallProcedure(const QString& procedureName, const QVariantList& parameters);

    // The inner query that runs the generated block.
    TOracleQuery* Query() const;

    void SessionLoggingOff() override;
    void SessionDestroyed() override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// A plain wrapper of one server package (the package name "DBMS_Application_Info" etc.).
class TDBMSPackage {
public:
    TDBMSPackage(TOracleSession* session, const QString& packageName);
    virtual ~TDBMSPackage();
    TDBMSPackage(const TDBMSPackage&) = delete;
    TDBMSPackage& operator=(const TDBMSPackage&) = delete;

    TOracleSession* Session() const;

protected:
    TOraclePackage* Package;
};

// Labels the server session: DBMS_APPLICATION_INFO.SET_MODULE and SET_CLIENT_INFO.
class TDBMS_Application_Info : public TDBMSPackage {
public:
    explicit TDBMS_Application_Info(TOracleSession* session);
    void SetModule(const QString& moduleName, const QString& actionName);
    void SetClientInfo(const QString& clientInfo);
};
