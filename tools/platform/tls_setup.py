"""The HTTPS mode's certificates, made at start with the openssl tool.

A throw-away certificate authority signs a server certificate whose
subject and only subject alternative name is a DNS name ("localhost" unless
told otherwise; Windows' TLS stack matches host names against DNS names
only, so no IP address entry is made). A client that is given the CA file
trusts the server; one that is not sees an untrusted certificate, and one
that connects under another name sees a name mismatch.
"""

import os
import ssl
import subprocess

CA_SUBJECT = "/O=Lumaret stand-in platform/CN=Lumaret stand-in test CA"
DAYS = "30"


class TlsFiles:
    def __init__(self, directory, dns_name):
        self.directory = directory
        self.dns_name = dns_name
        self.ca_file = os.path.join(directory, "ca.pem")
        self.ca_key = os.path.join(directory, "ca.key")
        self.cert_file = os.path.join(directory, "server.pem")
        self.key_file = os.path.join(directory, "server.key")

    def describe(self):
        return {"ca_file": self.ca_file, "cert_file": self.cert_file,
                "key_file": self.key_file, "dns_name": self.dns_name}


def _openssl(*args, directory):
    result = subprocess.run(("openssl",) + args, cwd=directory,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        raise RuntimeError("openssl %s failed: %s" % (
            args[0], result.stdout.decode("utf-8", "replace").strip()))


def make_certificates(directory, dns_name="localhost"):
    """Writes ca.pem/ca.key and server.pem/server.key into directory
    (replacing older ones) and returns their paths."""
    os.makedirs(directory, exist_ok=True)
    files = TlsFiles(directory, dns_name)
    _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256",
             "-days", DAYS, "-subj", CA_SUBJECT,
             "-keyout", files.ca_key, "-out", files.ca_file,
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign",
             "-addext", "subjectKeyIdentifier=hash",
             directory=directory)
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
