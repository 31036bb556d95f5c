#pragma once

#include <QtGlobal>

#if defined(SERLINE_LIBRARY)
#define SERLINE_EXPORT Q_DECL_EXPORT
#else
#define SERLINE_EXPORT Q_DECL_IMPORT
#endif
