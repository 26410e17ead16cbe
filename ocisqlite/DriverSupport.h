// Hooks through which the entry points for general-purpose drivers (OciDriver*.cpp) extend the core ones.
#pragma once

#include "DateFormat.h"
#include "Handles.h"

#include <optional>
#include <string>

namespace ocisqlite {

// Attributes that drivers set or read beyond the core ones; nullopt when attrtype is not one of them.
std::optional<sword> driverAttrSet(Handle* h, void* attributep, ub4 size, ub4 attrtype, Error* err);
std::optional<sword> driverAttrGet(Handle* h, void* attributep, ub4* sizep, ub4 attrtype, Error* err);

// OCI_ATTR_STMTCACHESIZE set on a service context: the cache shrinks at once.
std::optional<sword> statementCacheAttrSet(SvcCtx* svc, const void* attributep);

// Execute modes for features the embedded server does not have: scrollable cursors, batch errors, row
// counts per iteration.
bool refusedExecuteMode(ub4 mode);

// Asks the in-callbacks of OCIBindDynamic binds for their values, for each of max(iters, 1) iterations.
// Throws OraError when a callback refuses.
void collectCallbackBinds(Stmt* s, ub4 iters);

// Hands an OUT value (null when value is null) to the out-callback of an OCIBindDynamic bind.
void writeOutCallback(Bind& b, ub4 iter, const std::string* value);

// DATE values through OCIDateTime descriptors (SQLT_TIMESTAMP, _TZ, _LTZ and SQLT_DATE binds and defines):
// a DATE is the session's wall clock. An unset descriptor binds as NULL. Throw OraError.
std::optional<OraDate> dateTimeBindValue(const void* descriptor);
void dateTimeDefineValue(void* descriptor, const OraDate& value);

} // namespace ocisqlite
