"""The HTTPS mode's certificates, made at start with the openssl tool.

A throw-away certificate authority signs a server certificate whose
subject and only subject alternative name is a DNS name ("localhost" unless
told otherwise; Windows' TLS stack matches host names against DNS names
only, so no IP address entry is made). A client that is given the CA file
trusts the server; one that is not sees an untrusted certificate, and one
that connects under another name sees a name mismatch.

A second, unrelated authority (other-ca.pem, its key thrown away) is made
too: a client given it as its CA file must refuse the server. This gives an
"untrusted certificate" case also where the client's system store cannot be
relied on to refuse an unknown authority (Wine's TLS stack accepts any
certificate when no CA file is given).
"""

import os
import ssl
import subprocess

CA_SUBJECT = "/O=Lumaret stand-in platform/CN=Lumaret stand-in test CA"
OTHER_CA_SUBJECT = "/O=Lumaret stand-in platform/CN=Unrelated test CA"
DAYS = "30"


class TlsFiles:
    def __init__(self, directory, dns_name):
        self.directory = directory
        self.dns_name = dns_name
        self.ca_file = os.path.join(directory, "ca.pem")
        self.ca_key = os.path.join(directory, "ca.key")
        self.cert_file = os.path.join(directory, "server.pem")
        self.key_file = os.path.join(directory, "server.key")
        self.other_ca_file = os.path.join(directory, "other-ca.pem")

    def describe(self):
        return {"ca_file": self.ca_file, "cert_file": self.cert_file,
                "key_file": self.key_file, "dns_name": self.dns_name,
                "other_ca_file": self.other_ca_file}


def _openssl(*args, directory):
    result = subprocess.run(("openssl",) + args, cwd=directory,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        raise RuntimeError("openssl %s failed: %s" % (
            args[0], result.stdout.decode("utf-8", "replace").strip()))


def _make_authority(subject, key_file, cert_file, directory):
    _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256",
             "-days", DAYS, "-subj", subject,
             "-keyout", key_file, "-out", cert_file,
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign",
             "-addext", "subjectKeyIdentifier=hash",
             directory=directory)


def make_certificates(directory, dns_name="localhost"):
    """Writes ca.pem/ca.key, server.pem/server.key and other-ca.pem into
    directory (replacing older ones) and returns their paths."""
    os.makedirs(directory, exist_ok=True)
    files = TlsFiles(directory, dns_name)
    _make_authority(CA_SUBJECT, files.ca_key, files.ca_file, directory)
    other_key = os.path.join(directory, "other-ca.key")
    _make_authority(OTHER_CA_SUBJECT, other_key, files.other_ca_file, directory)
    os.remove(other_key)
    request = os.path.join(directory, "server.csr")
    _openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-sha256",
             "-subj", "/CN=%s" % dns_name,
             "-keyout", files.key_file, "-out", request,
             directory=directory)
    extensions = os.path.join(directory, "server.ext")
    with open(extensions, "w") as handle:
        handle.write("basicConstraints=critical,CA:FALSE\n"
                     "keyUsage=critical,digitalSignature,keyEncipherment\n"
                     "extendedKeyUsage=serverAuth\n"
                     "subjectAltName=DNS:%s\n"
                     "subjectKeyIdentifier=hash\n"
                     "authorityKeyIdentifier=keyid\n" % dns_name)
    _openssl("x509", "-req", "-in", request, "-sha256", "-days", DAYS,
             "-CA", files.ca_file, "-CAkey", files.ca_key, "-set_serial",
             "0x%s" % os.urandom(8).hex(), "-extfile", extensions,
             "-out", files.cert_file,
             directory=directory)
    os.remove(request)
    os.remove(extensions)
    return files


def server_context(files):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(files.cert_file, files.key_file)
    return context
