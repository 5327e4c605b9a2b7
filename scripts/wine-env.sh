# wine-env.sh - sourced by every script that runs Wine: picks the loader this
# machine can run.
#
# Some machines execute 64-bit Linux programs only (their kernel refuses
# 32-bit ones: "Exec format error"). There Wine's 32-bit loader cannot start,
# so the plain "wine" command fails for every program, 64-bit ones included.
# On such a machine this puts scripts/wine64-only first on PATH ("wine",
# "wine-stable" and "wineboot" through the 64-bit loader) and sets
# LUMARET_WINE32=0: 64-bit Windows programs run as usual, 32-bit ones cannot
# run at all. Elsewhere nothing changes and LUMARET_WINE32=1.
# The caller sets LUMARET_ROOT to the source tree first (plain sh has no way
# to find a sourced file's own folder).
if [ -z "${LUMARET_WINE32:-}" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    LUMARET_WINE32=1
  else
    LUMARET_WINE32=0
  fi
  export LUMARET_WINE32
fi
if [ "$LUMARET_WINE32" = 0 ]; then
  LUMARET_WINE64_ONLY="$LUMARET_ROOT/scripts/wine64-only"
  case ":$PATH:" in
    *":$LUMARET_WINE64_ONLY:"*) ;;
    *) PATH="$LUMARET_WINE64_ONLY:$PATH"; export PATH ;;
  esac
  WINELOADER=/usr/lib/wine/wine64
  export WINELOADER
fi
