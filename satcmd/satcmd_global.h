#pragma once

#include <QtGlobal>

#if defined(SATCMD_LIBRARY)
#define SATCMD_EXPORT Q_DECL_EXPORT
#else
#define SATCMD_EXPORT Q_DECL_IMPORT
#endif
