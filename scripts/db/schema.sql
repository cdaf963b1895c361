-- Tables the alerts push writes to. Run inside the target database, e.g.
--   mariadb -u root mydb < scripts/db/schema.sql
-- Every value the writer sends fits: prices and ratios as DOUBLE (put/call can
-- exceed the 32-bit range), counts as signed BIGINT (the up_N columns are often
-- negative), sale conditions as a signed 16-bit value; alert_type holds the
-- catalogue's short code, or an alert's internal name where a replay runs a
-- type the catalogue does not list.

CREATE TABLE IF NOT EXISTS alerts (
  id                 BIGINT UNSIGNED NOT NULL AUTO_INCREMENT,
  timestamp          DATETIME     NOT NULL,
  alert_type         VARCHAR(40)  NOT NULL,
  symbol             VARCHAR(32)  NOT NULL,
  description        TEXT         NOT NULL,
  price              DOUBLE       NULL,
  spread             DOUBLE       NULL,
  bid_size           BIGINT       NULL,
  ask_size           BIGINT       NULL,
  relvol             DOUBLE       NULL,
  quality            DOUBLE       NULL,
  most_recent_close  DOUBLE       NULL,
  expected_open      DOUBLE       NULL,
  day_range          DOUBLE       NULL,
  rsi_15             DOUBLE       NULL,
  tvol               BIGINT       NULL,
  up_5               BIGINT       NULL,
  up_10              BIGINT       NULL,
  up_15              BIGINT       NULL,
  up_30              BIGINT       NULL,
  sale_condition     SMALLINT     NULL,
  put_call           DOUBLE       NULL,
  distance_from_nbbo DOUBLE       NULL,
  todays_range       DOUBLE       NULL,
  p_up_5             DOUBLE       NULL,
  p_up_10            DOUBLE       NULL,
  p_up_15            DOUBLE       NULL,
  p_up_30            DOUBLE       NULL,
  v_up_5             BIGINT       NULL,
  v_up_10            BIGINT       NULL,
  v_up_15            BIGINT       NULL,
  v_up_30            BIGINT       NULL,
  num                BIGINT       NOT NULL,
  fake               CHAR(1)      NOT NULL,
  PRIMARY KEY (id),
  -- The queries users run: the latest alerts, one symbol's alerts over time,
  -- one alert type's alerts over time.
  KEY alerts_by_time (timestamp),
  KEY alerts_by_symbol_time (symbol, timestamp),
  KEY alerts_by_type_time (alert_type, timestamp)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE IF NOT EXISTS monitor_alive (
  name        VARCHAR(64) NOT NULL,
  last_update DATETIME    NULL,
  PRIMARY KEY (name)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
