# Writes OUT, a source file holding the SHA-256 of the engine script CHUNK that the player
# ships: the player trusts a bundle's engine script only when it is this one.
file(SHA256 ${CHUNK} hash)
file(WRITE ${OUT}.new "// The SHA-256 of the engine script this player ships (written by the build).\n"
  "#include \"QzBundle.h\"\n\nconst char* const kQzShippedEngineHash = \"${hash}\";\n")
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.new)
