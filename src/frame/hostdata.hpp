// Read access to the host's global words, by name.
#pragma once

#include "orvika/host.h"
#include "units.hpp"

namespace orvika::host {

inline IWORD repunit() { return VLK_GLOBAL[VLK_W_REPUNIT - 1]; }
inline const IWORD* msgctl() { return &VLK_GLOBAL[VLK_W_MSGCTL - 1]; }
inline const IWORD* imisval_addr() { return &VLK_GLOBAL[VLK_W_IMISVAL - 1]; }
inline IWORD imisval() { return VLK_GLOBAL[VLK_W_IMISVAL - 1]; }
inline IWORD hwfnum() { return VLK_GLOBAL[VLK_W_HWFNUM - 1]; }
inline IWORD notime() { return VLK_GLOBAL[VLK_W_NOTIME - 1]; }
inline double rmisval() { return VLK_RGLOB[VLK_W_RMISVAL - 1]; }
inline double rtiny() { return VLK_RGLOB[VLK_W_RTINY - 1]; }
inline double tlimit() { return VLK_RGLOB[VLK_W_TLIMIT - 1]; }
inline double& tprev() { return VLK_RGLOB[VLK_W_TPREV - 1]; }
inline char quotch() { return static_cast<char>(VLK_ERRTWO[VLK_W_QUOTCH - 1] & 0xFF); }
inline IWORD termon() { return VLK_FLES[VLK_W_TERMON - 1]; }
inline double ptiny() { return VLK_PPRIV[VLK_W_PTINY - 1]; }
inline double nonorm() { return VLK_PPRIV[VLK_W_NONORM - 1]; }
inline IWORD extprc() { return VLK_DBGOUT[VLK_W_EXTPRC - 1]; }
inline IWORD namoff() { return VLK_IPOFF4[VLK_W_NAMOFF - 1]; }
inline IWORD hwfden() { return VLK_VLK[VLK_W_HWFDEN - 1]; }
inline IWORD* dumarg() { return &VLK_INITV[VLK_W_DUMARG - 1]; }

// Writes TEXT (cut or blank-padded to 80 characters) into message line K
// (1-based) of VLK_ERROUT or VLK_MAXWRT.
void set_errout(int k, std::string_view text);
void set_maxwrt(int k, std::string_view text);

}  // namespace orvika::host
