# The Debian packages the project needs, in one place, and the set-up step
# that the README's two commands and CI share.  Sourced, not run.
#
#   ensure_packages build   the library and the examples
#   ensure_packages test    the tests and benchmarks (the build too)

orvika_packages_build="cmake gcc g++ make pkg-config"
# Test and benchmark references only; the library itself needs none of them.
orvika_packages_test="$orvika_packages_build libgtest-dev libbenchmark-dev libblas-dev liblapack-dev \
libsuitesparse-dev libsundials-dev minpack-dev"

# Installs what is missing of the group named by $1 with apt-get when run as
# root; otherwise prints the one command to run and exits.
ensure_packages() {
  local list missing=() p
  case "$1" in
    build) list=$orvika_packages_build ;;
    test) list=$orvika_packages_test ;;
    *) echo "ensure_packages: unknown group '$1'" >&2; return 2 ;;
  esac
  for p in $list; do
    if command -v dpkg-query >/dev/null 2>&1; then
      [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || missing+=("$p")
    else
      case "$p" in cmake | gcc | g++ | make | pkg-config) command -v "$p" >/dev/null 2>&1 || missing+=("$p") ;; esac
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if ! command -v apt-get >/dev/null 2>&1; then
    echo "missing: ${missing[*]} (no apt-get here: install them with this system's package manager)" >&2
    exit 1
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages; install them first with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "== installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
