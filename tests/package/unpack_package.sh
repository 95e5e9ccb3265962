# Sourced by the package's tests. unpack_package DEB FOLDER unpacks the package's files into
# FOLDER as dpkg-deb -x does, and fails with a hint when the package has not been built.
unpack_package() {
    local deb=$1 folder=$2
    if [ ! -f "$deb" ]; then
        echo "$deb is missing: build it with \"cmake --workflow --preset deb\"" >&2
        return 1
    fi
    mkdir -p "$folder"
    dpkg-deb -x "$deb" "$folder"
}
