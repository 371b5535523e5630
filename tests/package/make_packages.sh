#!/usr/bin/env bash
# Makes the packages the package tests check, from the build in $1: one of
# the build's own version in $2 and an "older" one (1.0.0.0) in $2/older,
# both signed with the build's test certificate whatever the environment
# configures.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
unset YF_SIGN_PKCS12 YF_SIGN_CERT YF_SIGN_KEY YF_SIGN_PASSWORD YF_SIGN_TIMESTAMP_URL
rm -rf "$2"
"$root/scripts/package" --build "$1" --out "$2/older" --as-version 1.0.0.0
"$root/scripts/package" --build "$1" --out "$2"
