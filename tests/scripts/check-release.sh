#!/usr/bin/env bash
# Makes releases from clones of this tree: two in other folders, time zones and umasks must be
# byte-identical; one signed with a throwaway CA must verify and, unsigned again, be the same exe;
# against another CA, the release stops.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd) tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
trap 'echo "FAIL: check-release.sh line $LINENO"' ERR
a="$tmp/folder with blanks/morvelan" b=$tmp/b/morvelan
release() { # clone, then variables for scripts/release.sh
    local dir=$1
    shift
    if [ ! -d "$dir" ]; then # uncommitted changes are tested too
        git clone -q "$root" "$dir"
        git -C "$root" diff --binary HEAD | git -C "$dir" apply --allow-empty
    fi
    (cd "$dir" && env "$@" scripts/release.sh >"$dir.log" 2>&1) || { cat "$dir.log"; exit 1; }
}
(umask 022 && release "$a" TZ=UTC)
(umask 077 && release "$b" TZ=Pacific/Chatham)
cmp "$a"/dist/*.zip "$b"/dist/*.zip
name=$(cd "$a/dist" && sha256sum -c ./*.sha256 | sed 's/: OK$//')
[ "$(unzip -Z1 "$a/dist/$name" | xargs)" = "morvelan.exe README.md LICENSE" ]

cd "$tmp" && echo "throwaway password" >pass
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj /CN=CA \
    -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout key.pem -subj /CN=Signer 2>/dev/null |
    openssl x509 -req -CA ca.pem -CAkey ca.key -days 1 -out cert.pem 2>/dev/null -extfile \
        <(printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n')
openssl pkcs12 -export -in cert.pem -inkey key.pem -passout file:pass -out sign.pfx
folder=https://example.org/morvelan/1/ home=https://example.org/morvelan
release "$b" MORVELAN_SIGN_PFX="$tmp/sign.pfx" MORVELAN_SIGN_PASSFILE="$tmp/pass" \
    MORVELAN_SIGN_CAFILE="$tmp/ca.pem" MORVELAN_HOMEPAGE=$home MORVELAN_RELEASE_URL=$folder
unzip -p "$b/dist/$name" morvelan.exe >signed.exe
osslsigncode verify -CAfile ca.pem -in signed.exe >verify.log
grep -q 'Message digest algorithm *: SHA256' verify.log
grep -q "URL description: $home" verify.log
osslsigncode remove-signature -in signed.exe -out removed.exe >/dev/null
unzip -p "$a/dist/$name" morvelan.exe | cmp - removed.exe
printf t | dd of=signed.exe bs=1 seek=78 conv=notrunc status=none # the DOS stub: "this program"
if osslsigncode verify -CAfile ca.pem -in signed.exe >/dev/null 2>&1; then false; fi

# The manifests, read as winget and Scoop read them, point at the zip by URL and hash.
python3 - "$b/dist" "$name" "${folder}$name" "$(cut -d ' ' -f 1 "$b/dist/$name.sha256")" <<'EOF'
import json, sys, yaml, zipfile
dist, name, url, sha = sys.argv[1:]
files, version = zipfile.ZipFile(f"{dist}/{name}").namelist(), name.split("-")[1]
need = {"version": "DefaultLocale", "installer": "InstallerType NestedInstallerType",
        "defaultLocale": "PackageLocale Publisher PackageName License ShortDescription"}
head, docs = "PackageIdentifier PackageVersion ManifestType ManifestVersion".split(), {}
for kind, part in ("version", ""), ("installer", ".installer"), ("defaultLocale", ".locale.en-US"):
    docs[kind] = doc = yaml.safe_load(open(f"{dist}/winget/Morvelan.Morvelan{part}.yaml"))
    assert all(doc.get(key) for key in need[kind].split()), kind
    assert [doc[key] for key in head] == ["Morvelan.Morvelan", version, kind, "1.10.0"], kind
installer = docs["installer"]
assert (installer["InstallerType"], installer["NestedInstallerType"]) == ("zip", "portable")
[nested] = installer["NestedInstallerFiles"]
assert nested["RelativeFilePath"] in files and nested["PortableCommandAlias"] == "morvelan"
[x86] = installer["Installers"]
assert [x86[k] for k in "Architecture InstallerUrl InstallerSha256".split()] == ["x86", url, sha]
scoop = json.load(open(f"{dist}/scoop/morvelan.json"))
assert all(scoop.get(key) for key in ("description", "homepage", "license"))
assert (scoop["version"], scoop["url"], scoop["hash"].lower()) == (version, url, sha)
assert scoop["bin"] in files
EOF

# A signature that does not verify, here against another CA, stops the release.
openssl req -x509 -newkey rsa:2048 -nodes -keyout other.key -out other.pem -days 2 -subj /CN=CA \
    2>/dev/null
if (cd "$b" && MORVELAN_SIGN_PFX="$tmp/sign.pfx" MORVELAN_SIGN_PASSFILE="$tmp/pass" \
    MORVELAN_SIGN_CAFILE="$tmp/other.pem" MORVELAN_HOMEPAGE=$home scripts/release.sh \
    >"$tmp/other.log" 2>&1); then false; fi
grep -q "Error: The signature does not verify" "$tmp/other.log"
echo "ok: two releases are byte-identical; the signed one verifies, or stops the release; the \
manifests name the zip"
