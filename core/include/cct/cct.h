// The whole core API in one include.
#ifndef CCT_CCT_H
#define CCT_CCT_H

#include "cct/aggr.h"
#include "cct/ascii.h"
#include "cct/at.h"
#include "cct/cctype.h"
#include "cct/entitytype.h"
#include "cct/enumtype.h"
#include "cct/errlog.h"
#include "cct/exchgfls.h"
#include "cct/factory.h"
#include "cct/hashtab.h"
#include "cct/instance.h"
#include "cct/lnklst.h"
#include "cct/p21text.h"
#include "cct/scope.h"
#include "cct/selecttype.h"

#endif
