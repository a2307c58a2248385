# Sourced by the test and benchmark scripts: a private PostgreSQL server on
# the loopback address for the database tests, reached through ODBC.
#   TARVEL_DB_PORT  port to try first (default 55432; the next free one is taken)
# After sourcing: TARVEL_TEST_DB is the ODBC connection string (without a
# password: the server trusts the loopback address), ODBCSYSINI names a
# private odbcinst.ini (CommLog=0: the driver writes no log per process to
# /tmp), TARVEL_DB_DIR the server's folder, and tarvel_db_stop ends the
# server and removes its folder. tarvel_db_pg_ctl runs pg_ctl on it (the
# tests stop and start it to cut the connection).

_tarvel_pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [ -z "$_tarvel_pg_bin" ] || [ ! -x "$_tarvel_pg_bin/initdb" ]; then
  echo "PostgreSQL is not installed (scripts/install-deps.sh installs it)" >&2
  return 1
fi
_tarvel_as_postgres() {
  if [ "$(id -un)" = postgres ]; then "$@"; elif [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else sudo -u postgres "$@"; fi
}

TARVEL_DB_DIR=$(mktemp -d /tmp/tarvel-db.XXXXXX)
chmod 755 "$TARVEL_DB_DIR"
chown postgres: "$TARVEL_DB_DIR" 2>/dev/null || sudo chown postgres: "$TARVEL_DB_DIR"
export TARVEL_DB_DIR

_port=${TARVEL_DB_PORT:-55432}
while (exec 3<>"/dev/tcp/127.0.0.1/$_port") 2>/dev/null; do _port=$((_port + 1)); done
export TARVEL_DB_PORT=$_port

tarvel_db_pg_ctl() {
  _tarvel_as_postgres "$_tarvel_pg_bin/pg_ctl" -D "$TARVEL_DB_DIR/data" -l "$TARVEL_DB_DIR/server.log" "$@"
}

if ! _tarvel_as_postgres "$_tarvel_pg_bin/initdb" -D "$TARVEL_DB_DIR/data" -U postgres -A trust >/dev/null ||
  ! tarvel_db_pg_ctl -o "-p $TARVEL_DB_PORT -k $TARVEL_DB_DIR -c listen_addresses=127.0.0.1 -c max_connections=200" \
    -w start >/dev/null; then
  echo "the test database server did not start (see $TARVEL_DB_DIR/server.log)" >&2
  return 1
fi
_tarvel_as_postgres "$_tarvel_pg_bin/createdb" -h 127.0.0.1 -p "$TARVEL_DB_PORT" -U postgres tarvel

mkdir -p "$TARVEL_DB_DIR/odbc"
cat >"$TARVEL_DB_DIR/odbc/odbcinst.ini" <<INI
[PostgreSQL Unicode]
Description=PostgreSQL ODBC driver (Unicode version)
Driver=psqlodbcw.so
Setup=libodbcpsqlS.so
Debug=0
CommLog=0
INI
touch "$TARVEL_DB_DIR/odbc/odbc.ini"
export ODBCSYSINI=$TARVEL_DB_DIR/odbc
# What a test needs to stop the server and start it again (as the postgres
# user, on the same port).
export TARVEL_DB_CTL="$(if [ "$(id -u)" -eq 0 ]; then echo runuser -u postgres --; elif [ "$(id -un)" != postgres ]; then echo sudo -u postgres; fi) $_tarvel_pg_bin/pg_ctl -D $TARVEL_DB_DIR/data -l $TARVEL_DB_DIR/server.log"
export TARVEL_DB_SERVER_OPTIONS="-p $TARVEL_DB_PORT -k $TARVEL_DB_DIR -c listen_addresses=127.0.0.1 -c max_connections=200"
export TARVEL_TEST_DB="Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$TARVEL_DB_PORT;Database=tarvel;Uid=postgres;"

tarvel_db_stop() {
  [ -n "${TARVEL_DB_DIR:-}" ] && [ -d "$TARVEL_DB_DIR" ] || return 0
  tarvel_db_pg_ctl -m fast stop >/dev/null 2>&1
  rm -rf "$TARVEL_DB_DIR"
  unset TARVEL_DB_DIR TARVEL_TEST_DB TARVEL_DB_CTL TARVEL_DB_SERVER_OPTIONS
}
