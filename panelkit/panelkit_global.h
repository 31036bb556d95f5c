#pragma once

#include <QtGlobal>

#if defined(PANELKIT_LIBRARY)
#define PANELKIT_EXPORT Q_DECL_EXPORT
#else
#define PANELKIT_EXPORT Q_DECL_IMPORT
#endif
