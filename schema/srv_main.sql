-- State row of the main server: it is the one to work with (MAIN 0), its partner mirrors (SECOND 1), changes allowed (RO 0).
DELETE FROM SRV;
INSERT INTO SRV (MAIN, SECOND, RO) VALUES (0, 1, 0);
COMMIT;
