// Resource identifier of the public key that signed manifests are checked
// with (type RCDATA), shared by the code and the generated resource script.
#pragma once

#define IDR_MANIFEST_KEY 140
