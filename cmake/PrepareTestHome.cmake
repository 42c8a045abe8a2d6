# Gives the tests a fresh home, data folder (with its trash), state folder (with the run records)
# and runtime folder of their own,
# so that no test touches the real ones.
file(REMOVE_RECURSE "${ROOT}")
foreach(dir home home/.local/share home/.local/state home/.config home/.cache runtime tmp)
    file(MAKE_DIRECTORY "${ROOT}/${dir}")
endforeach()
file(CHMOD "${ROOT}/runtime" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
